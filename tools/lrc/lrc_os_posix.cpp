// Code pages through iconv; terminals through isatty.
#include <iconv.h>
#include <unistd.h>

#include <cerrno>

#include "tools/lrc/lrc_os.h"

namespace lrc::os {

namespace {

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);
const std::size_t kIconvFailed = static_cast<std::size_t>(-1);

// An iconv descriptor that closes itself.
class Iconv {
public:
    Iconv(const std::string& to, const std::string& from)
        : cd_(iconv_open(to.c_str(), from.c_str())) {}
    ~Iconv() {
        if (cd_ != kNoIconv) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return cd_ != kNoIconv; }

    // Converts from *in on, appending to `out`, until the input ends or a sequence fails
    // (iconv's result and errno tell which). With in == nullptr, ends the shift state.
    std::size_t Convert(const char** in, std::size_t* inLeft, std::string* out) {
        char* inPtr = in != nullptr ? const_cast<char*>(*in) : nullptr;
        std::size_t result = 0;
        int err = 0;
        for (;;) {
            char buf[256];
            char* outPtr = buf;
            std::size_t outLeft = sizeof buf;
            errno = 0;
            result = iconv(cd_, in != nullptr ? &inPtr : nullptr, inLeft, &outPtr, &outLeft);
            err = errno;
            out->append(buf, static_cast<std::size_t>(outPtr - buf));
            if (result != kIconvFailed || err != E2BIG) break;
        }
        if (in != nullptr) *in = inPtr;
        errno = err;
        return result;
    }
    void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t cd_;
};

class IconvEncoder : public Encoder {
public:
    explicit IconvEncoder(std::unique_ptr<Iconv> cd) : cd_(std::move(cd)) {}
    bool Encode(std::string_view utf8Char, std::string* out) override {
        const char* in = utf8Char.data();
        std::size_t left = utf8Char.size();
        std::string bytes;
        cd_->Reset();
        if (cd_->Convert(&in, &left, &bytes) == kIconvFailed || left != 0) return false;
        std::size_t none = 0;
        cd_->Convert(nullptr, &none, &bytes);  // back to the initial shift state
        out->append(bytes);
        return true;
    }

private:
    std::unique_ptr<Iconv> cd_;
};

}  // namespace

bool DecodeToUtf8(const std::string& name, std::string_view bytes, std::string* utf8, int* replaced,
                  std::string* error) {
    Iconv cd("UTF-8", name);
    if (!cd.ok()) {
        *error = "unknown encoding '" + name + "'";
        return false;
    }
    const char* in = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        if (cd.Convert(&in, &left, utf8) != kIconvFailed) break;
        // EILSEQ: a sequence the code page does not define; EINVAL: one cut off at the end.
        // Either way one byte becomes U+FFFD and the rest goes on.
        utf8->append("\xEF\xBF\xBD");
        ++*replaced;
        ++in;
        --left;
        cd.Reset();
    }
    std::size_t none = 0;
    cd.Convert(nullptr, &none, utf8);
    return true;
}

std::unique_ptr<Encoder> OpenEncoder(const std::string& name, std::string* error) {
    auto cd = std::make_unique<Iconv>(name, "UTF-8");
    if (!cd->ok()) {
        *error = "unknown encoding '" + name + "'";
        return nullptr;
    }
    return std::make_unique<IconvEncoder>(std::move(cd));
}

std::string SystemEncoding() {
    return "UTF-8";
}

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) == 1;
}

}  // namespace lrc::os
