#include "platform/MoCatalogue.h"

#include <cstdint>

namespace platform {

namespace {

constexpr std::uint32_t Magic = 0x950412de;
constexpr std::uint32_t SwappedMagic = 0xde120495;

class TReader {
public:
    TReader(std::string_view bytes, bool swapped) : mBytes(bytes), mSwapped(swapped) {}

    bool Word(std::size_t offset, std::uint32_t& value) const {
        if (offset > mBytes.size() || mBytes.size() - offset < 4)
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const auto byte = static_cast<std::uint8_t>(mBytes[offset + static_cast<std::size_t>(i)]);
            value |= static_cast<std::uint32_t>(byte) << (mSwapped ? 8 * (3 - i) : 8 * i);
        }
        return true;
    }

    // The text that table entry `index` of the table at `table` describes (length, offset).
    bool Text(std::uint32_t table, std::uint32_t index, std::string_view& text) const {
        std::uint32_t length = 0;
        std::uint32_t offset = 0;
        const std::size_t entry = std::size_t{table} + std::size_t{index} * 8;
        if (!Word(entry, length) || !Word(entry + 4, offset))
            return false;
        if (offset > mBytes.size() || mBytes.size() - offset < length)
            return false;
        text = mBytes.substr(offset, length);
        return true;
    }

private:
    std::string_view mBytes;
    bool mSwapped;
};

// The first of the texts that a plural entry keeps one after the other, 0-separated.
std::string_view FirstForm(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

} // namespace

bool TMoCatalogue::Load(std::string_view bytes) {
    mEntries.clear();
    std::uint32_t magic = 0;
    if (!TReader(bytes, false).Word(0, magic) || (magic != Magic && magic != SwappedMagic))
        return false;
    const TReader reader(bytes, magic == SwappedMagic);
    std::uint32_t count = 0;
    std::uint32_t originals = 0;
    std::uint32_t translations = 0;
    if (!reader.Word(8, count) || !reader.Word(12, originals) || !reader.Word(16, translations))
        return false;
    std::map<std::string, std::string, std::less<>> entries;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string_view original;
        std::string_view translation;
        if (!reader.Text(originals, i, original) || !reader.Text(translations, i, translation))
            return false;
        original = FirstForm(original);
        if (!original.empty())
            entries.emplace(original, FirstForm(translation));
    }
    mEntries = std::move(entries);
    return true;
}

const char* TMoCatalogue::Find(std::string_view original) const {
    const auto found = mEntries.find(original);
    return found == mEntries.end() ? nullptr : found->second.c_str();
}

} // namespace platform
