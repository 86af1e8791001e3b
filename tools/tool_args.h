// Command-line helpers shared by the companion tools: an argument cursor, strict number
// parsing and the exit codes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tools {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A decimal number of at most 32 bits: digits only, no sign, no blanks.
inline std::optional<std::uint32_t> ParseUint32(const std::string& s) {
    if (s.empty() || s.size() > 10) return std::nullopt;
    std::uint64_t v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (v > UINT32_MAX) return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

class Args {
public:
    Args(int argc, char** argv) : args_(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)) {}

    bool Done() const { return next_ >= args_.size(); }
    const std::string& Peek() const { return args_[next_]; }
    std::string Take() { return args_[next_++]; }

    // Takes the value that follows `option`. False, with Error() saying why, when the
    // option was already given or nothing follows it.
    template <class T>
    bool TakeValue(const std::string& option, std::string* value, const std::optional<T>* given) {
        if (given->has_value()) {
            error_ = option + " given twice";
            return false;
        }
        if (Done()) {
            error_ = option + " wants a value";
            return false;
        }
        *value = Take();
        return true;
    }
    const std::string& Error() const { return error_; }

private:
    std::vector<std::string> args_;
    std::size_t next_ = 0;
    std::string error_;
};

}  // namespace tools
