// The error type of the serial layer: reason texts, the error-number suffix, the Dutch
// explanations, and the "cport" message catalogue.
#include "platform/Messages.h"
#include "serial/ComError.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

using serial::EComPort;

TEST(ComError, AReasonWithoutAnErrorNumberIsItsTextAlone) {
    const std::pair<std::int32_t, const char*> samples[] = {
        {1, "Unable to open com port"},
        {7, "SetCommState function failed"},
        {12, "EscapeCommFunction function failed"},
        {14, "Cannot set property while connected"},
        {18, "Link (un)registration failed"},
        {22, "A component is linked to OnRxBuf event"},
        {23, "Registry error"}};
    for (const auto& [reason, text] : samples) {
        const EComPort error(reason);
        EXPECT_EQ(error.Reason, reason);
        EXPECT_EQ(error.SystemCode, -1);
        EXPECT_STREQ(error.what(), text);
    }
    for (std::int32_t reason = 1; reason <= 23; ++reason)
        EXPECT_STRNE(serial::ReasonText(reason), "") << reason;
    EXPECT_STREQ(serial::ReasonText(0), "");
    EXPECT_STREQ(serial::ReasonText(24), "");
}

TEST(ComError, ThePlatformErrorNumberFollowsTheText) {
    const EComPort error(serial::ceRead, 5);
    EXPECT_EQ(error.SystemCode, 5);
    EXPECT_STREQ(error.what(), "ReadFile function failed (win error code: 5)");
    EXPECT_STREQ(EComPort(serial::ceRegistry, 0).what(), "Registry error (win error code: 0)");
    EXPECT_STREQ(EComPort(serial::ceOpen, -2).what(),
                 "Unable to open com port (win error code: -2)");
    const std::runtime_error& base = error;
    EXPECT_STREQ(base.what(), error.what());
}

TEST(ComError, UsersGetADutchExplanationForTheCommonRefusals) {
    const auto explain = [](int code) { return serial::UserExplanation(EComPort(1, code)); };
    EXPECT_NE(explain(EACCES).find("groep dialout"), std::string::npos);
    EXPECT_NE(explain(EBUSY).find("in gebruik door een ander programma"), std::string::npos);
    EXPECT_NE(explain(ENOENT).find("bestaat niet"), std::string::npos);
    EXPECT_EQ(explain(ENODEV), explain(ENOENT));
    EXPECT_EQ(explain(EIO), "De verbinding met de seriële poort is verbroken. Is de USB-seriële "
                            "adapter losgetrokken? Sluit hem weer aan, kies de poort in "
                            "Instellingen > Status... en druk op OK.")
        << "a line that is gone: the adapter pulled out";
    EXPECT_EQ(explain(EINVAL), "");
    EXPECT_EQ(explain(-1), "");
}

namespace {

// Writes a GNU .mo catalogue holding `entries` (sorted by original text, as gettext's binary
// search needs when there is no hash table).
void WriteCatalogue(const std::filesystem::path& file,
                    std::vector<std::pair<std::string, std::string>> entries) {
    entries.emplace_back("", "Content-Type: text/plain; charset=UTF-8\n");
    std::sort(entries.begin(), entries.end());
    const auto count = static_cast<std::uint32_t>(entries.size());
    const std::uint32_t originals = 28;
    const std::uint32_t translations = originals + 8 * count;
    std::uint32_t offset = translations + 8 * count;
    std::vector<std::uint32_t> header = {0x950412de, 0, count, originals, translations, 0, 0};
    std::vector<std::uint32_t> table;
    std::string strings;
    for (int side = 0; side < 2; ++side) {
        for (const auto& entry : entries) {
            const std::string& text = side == 0 ? entry.first : entry.second;
            table.push_back(static_cast<std::uint32_t>(text.size()));
            table.push_back(offset);
            strings += text;
            strings.push_back('\0');
            offset += static_cast<std::uint32_t>(text.size() + 1);
        }
    }
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    for (const auto* words : {&header, &table})
        out.write(reinterpret_cast<const char*>(words->data()),
                  static_cast<std::streamsize>(words->size() * 4));
    out << strings;
}

} // namespace

TEST(ComErrorCatalogue, TextsAndSuffixPassThroughTheCportDomain) {
    const std::string previousLocale = std::setlocale(LC_ALL, nullptr);
    // gettext ignores LANGUAGE in the plain C locale.
    if (!std::setlocale(LC_ALL, "C.UTF-8"))
        GTEST_SKIP() << "no C.UTF-8 locale";
    const char* language = std::getenv("LANGUAGE");
    const std::optional<std::string> previousLanguage =
        language ? std::optional<std::string>(language) : std::nullopt;
    const auto folder = std::filesystem::temp_directory_path() /
                        ("morvelplint-cport-" + std::to_string(::getpid()));
    WriteCatalogue(folder / "nl" / "LC_MESSAGES" / "cport.mo",
                   {{"Registry error", "Registerfout"},
                    {" (win error code: %d)", " (foutcode van het systeem: %d)"}});
    setenv("LANGUAGE", "nl", 1);
    ASSERT_TRUE(platform::BindTextDomain(serial::TextDomain, folder.string()));

    EXPECT_STREQ(EComPort(serial::ceRegistry, 2).what(),
                 "Registerfout (foutcode van het systeem: 2)");
    EXPECT_STREQ(EComPort(serial::ceRegistry).what(), "Registerfout");
    // A text without an entry stays as written.
    EXPECT_STREQ(EComPort(serial::ceOpen).what(), "Unable to open com port");
    EXPECT_STREQ(platform::Translate(serial::TextDomain, "Registry error"), "Registerfout");

    if (previousLanguage)
        setenv("LANGUAGE", previousLanguage->c_str(), 1);
    else
        unsetenv("LANGUAGE");
    std::setlocale(LC_ALL, previousLocale.c_str());
    platform::BindTextDomain(serial::TextDomain, (folder / "none").string());
    std::filesystem::remove_all(folder);
    EXPECT_STREQ(EComPort(serial::ceRegistry).what(), "Registry error");
}
