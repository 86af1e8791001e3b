// WAV files of silence with RIFF INFO tags (artist, title, album), for the tests that need a
// tagged song: mpv publishes the tags as MPRIS metadata, TagLib reads them.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <utility>

namespace fetchtest {

// `seconds` of 48 kHz mono silence with RIFF INFO tags (artist, title, album), which mpv
// publishes as the track's MPRIS metadata.
inline bool WriteTaggedWav(const std::string& path, int seconds, const std::string& artist,
                           const std::string& title, const std::string& album) {
    constexpr std::uint32_t kRate = 48000;
    const auto word = [](std::string& out, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>(v >> (8 * i));
    };
    std::string info = "INFO";
    for (const auto& [id, text] :
         {std::pair<const char*, std::string>{"IART", artist}, {"INAM", title}, {"IPRD", album}}) {
        std::string value = text + '\0';
        if (value.size() % 2 != 0) value += '\0';
        info += id;
        word(info, static_cast<std::uint32_t>(text.size() + 1), 4);
        info += value;
    }
    const std::uint32_t dataBytes = kRate * 2 * static_cast<std::uint32_t>(seconds);
    std::string head = "WAVEfmt ";
    word(head, 16, 4);
    word(head, 1, 2);  // PCM
    word(head, 1, 2);  // mono
    word(head, kRate, 4);
    word(head, kRate * 2, 4);
    word(head, 2, 2);
    word(head, 16, 2);
    head += "LIST";
    word(head, static_cast<std::uint32_t>(info.size()), 4);
    head += info;
    head += "data";
    word(head, dataBytes, 4);
    std::string riff = "RIFF";
    word(riff, static_cast<std::uint32_t>(head.size()) + dataBytes, 4);
    std::ofstream out(path, std::ios::binary);
    out << riff << head;
    const std::string second(kRate * 2, '\0');
    for (int s = 0; s < seconds; ++s)
        out.write(second.data(), static_cast<std::streamsize>(second.size()));
    return static_cast<bool>(out);
}

}  // namespace fetchtest
