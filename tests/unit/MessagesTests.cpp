// The message catalogues as the program ships them: the language from LANG or the system's
// locale, the Dutch "cport" and English "default" catalogues from the build's locale folder,
// and all of it in a process whose own locale could not be set (the user's locale is not
// generated on the machine), which leaves the messages category at "C".
#include "platform/Messages.h"
#include "platform/MoCatalogue.h"
#include "serial/ComError.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <sstream>
#include <string>

namespace {

const std::vector<std::string> Domains{platform::DefaultDomain, serial::TextDomain};

class MessagesTest : public ::testing::Test {
protected:
    std::map<std::string, std::optional<std::string>> Saved;
    std::string SavedLocale;

    void SetUp() override {
        for (const char* name : {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"}) {
            const char* value = std::getenv(name);
            Saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
            ::unsetenv(name);
        }
        SavedLocale = std::setlocale(LC_ALL, nullptr);
        // As after a failed setlocale(LC_ALL, "") for a locale the machine does not have.
        std::setlocale(LC_ALL, "C");
    }

    void TearDown() override {
        for (const auto& [name, value] : Saved)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
        platform::InitMessages(Domains, {MORVELPLINT_LOCALE_BUILD_DIR}, "C");
        std::setlocale(LC_ALL, SavedLocale.c_str());
    }

    // Starts the catalogues as the program does, with LANG set to `lang`.
    void StartWithLang(const char* lang) {
        ::setenv("LANG", lang, 1);
        platform::InitMessages(Domains, {MORVELPLINT_LOCALE_BUILD_DIR}, platform::UserLanguage());
    }

    static std::string Default(const char* text) { return platform::Tr(text); }
    static std::string Cport(const char* text) {
        return platform::Translate(serial::TextDomain, text);
    }
};

} // namespace

TEST_F(MessagesTest, LanguageComesFromLangFirst) {
    ::setenv("LANG", "nl_BE.UTF-8", 1);
    ::setenv("LC_ALL", "en_GB.UTF-8", 1);
    EXPECT_EQ(platform::UserLanguage(), "nl_BE.UTF-8");
}

TEST_F(MessagesTest, WithoutLangTheLocaleVariablesGiveLanguageAndCountry) {
    ::setenv("LANG", "", 1);
    ::setenv("LC_MESSAGES", "de_AT.ISO-8859-1@euro", 1);
    EXPECT_EQ(platform::UserLanguage(), "de_AT");
    ::setenv("LC_ALL", "nl_NL.UTF-8", 1);
    EXPECT_EQ(platform::UserLanguage(), "nl_NL") << "LC_ALL outranks LC_MESSAGES";
}

TEST_F(MessagesTest, SystemLocaleFilesNameTheLanguageByLang) {
    EXPECT_EQ(platform::LanguageFromLocaleFile("# set by the installer\n"
                                               "LC_TIME=en_GB.UTF-8\n"
                                               "LANG=\"nl_NL.UTF-8\"\n"),
              "nl_NL");
    EXPECT_EQ(platform::LanguageFromLocaleFile("export LANG='fr_BE.UTF-8'\r\n"), "fr_BE");
    EXPECT_EQ(platform::LanguageFromLocaleFile("  LANG=en_US\n#LANG=de_DE\n"), "en_US");
    EXPECT_EQ(platform::LanguageFromLocaleFile("LANGUAGE=nl\nLC_ALL=nl_NL\n"), "");
    EXPECT_EQ(platform::LanguageFromLocaleFile(""), "");
}

TEST_F(MessagesTest, EnglishShowsTheProgramsMessagesInEnglish) {
    StartWithLang("en");
    EXPECT_EQ(Default("Kan \"%1\" niet gebruiken."), "Cannot use \"%1\".");
    EXPECT_EQ(Default("De parallelle kaart kan niet worden gebruikt."),
              "The parallel card cannot be used.");
    EXPECT_EQ(Default("De seriele kaart kon niet worden geinitialiseerd. \r\nStaat het rek wel "
                      "aan en is de verbindingskabel juist aangesloten?"),
              "The serial card could not be initialised. \r\nIs the rack switched on and is "
              "the connecting cable plugged in properly?");
    EXPECT_EQ(Default("Onvoldoende secties geselecteerd"), "Not enough sections selected");
    // The serial layer's texts are English already; there is no English "cport" catalogue.
    EXPECT_STREQ(serial::EComPort(serial::ceOpen, 2).what(),
                 "Unable to open com port (win error code: 2)");
}

TEST_F(MessagesTest, EnglishWithACountryFallsBackOnTheLanguage) {
    StartWithLang("en_ZA.UTF-8");
    EXPECT_EQ(Default("Kan \"%1\" niet gebruiken."), "Cannot use \"%1\".");
}

TEST_F(MessagesTest, DutchShowsTheSerialErrorsInDutch) {
    StartWithLang("nl_NL.UTF-8");
    EXPECT_STREQ(serial::EComPort(serial::ceOpen, 2).what(),
                 "Kan de com-poort niet openen (win-foutcode: 2)");
    EXPECT_STREQ(serial::EComPort(serial::ceRegistry).what(), "Fout in het register");
    // Every one of the 23 texts has its Dutch form.
    for (std::int32_t reason = 1; reason <= 23; ++reason)
        EXPECT_NE(Cport(serial::ReasonText(reason)), serial::ReasonText(reason)) << reason;
    // The program's own texts are Dutch already.
    EXPECT_EQ(Default("Kan \"%1\" niet gebruiken."), "Kan \"%1\" niet gebruiken.");
}

TEST_F(MessagesTest, AnUnknownLanguageLeavesEveryTextAsWritten) {
    for (const char* lang : {"xx_YY.UTF-8", "C", "C.UTF-8", "POSIX"}) {
        StartWithLang(lang);
        EXPECT_EQ(Default("Kan \"%1\" niet gebruiken."), "Kan \"%1\" niet gebruiken.") << lang;
        EXPECT_STREQ(serial::EComPort(serial::ceOpen, 2).what(),
                     "Unable to open com port (win error code: 2)")
            << lang;
    }
}

TEST_F(MessagesTest, LangOutranksAnInheritedLanguageVariable) {
    ::setenv("LANGUAGE", "nl", 1);
    StartWithLang("en_GB.UTF-8");
    EXPECT_EQ(Default("Kan \"%1\" niet gebruiken."), "Cannot use \"%1\".");
    EXPECT_EQ(Cport("Registry error"), "Registry error");
}

TEST_F(MessagesTest, ALaterStartFollowsTheNewLanguage) {
    StartWithLang("nl");
    EXPECT_EQ(Cport("Registry error"), "Fout in het register");
    StartWithLang("en");
    EXPECT_EQ(Cport("Registry error"), "Registry error");
    EXPECT_EQ(Default("Kan \"%1\" niet gebruiken."), "Cannot use \"%1\".");
    StartWithLang("nl");
    EXPECT_EQ(Cport("Registry error"), "Fout in het register");
    EXPECT_EQ(Default("Kan \"%1\" niet gebruiken."), "Kan \"%1\" niet gebruiken.");
}

TEST_F(MessagesTest, TheFirstFolderThatExistsHoldsTheCatalogues) {
    ::setenv("LANG", "en", 1);
    const std::string missing = "/nonexistent/morvelplint/locale";
    EXPECT_EQ(platform::InitMessages(Domains, {missing, MORVELPLINT_LOCALE_BUILD_DIR}, "en"),
              MORVELPLINT_LOCALE_BUILD_DIR);
    EXPECT_EQ(Default("Kan \"%1\" niet gebruiken."), "Cannot use \"%1\".");

    EXPECT_EQ(platform::InitMessages(Domains, {missing}, "en"), missing);
    EXPECT_EQ(Default("Kan \"%1\" niet gebruiken."), "Kan \"%1\" niet gebruiken.")
        << "no catalogue: the text as written";
}

TEST_F(MessagesTest, TheProgramFolderHoldsTheRunningProgram) {
    const std::filesystem::path folder = platform::ProgramFolder();
    EXPECT_TRUE(folder.is_absolute());
    EXPECT_TRUE(std::filesystem::exists(folder / "messages_tests"));
}

TEST(CatalogueFolders, BesideTheProgramFirstThenTheInstalledFolder) {
    const std::vector<std::string> folders = platform::CatalogueFolders(platform::ProgramFolder());
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0], platform::ProgramFolder() + "/locale");
    EXPECT_EQ(folders[1],
              std::filesystem::path(platform::ProgramFolder() + "/../share/morvelplint/locale")
                  .lexically_normal()
                  .string());
}

TEST(CatalogueFolders, InstalledFolderFollowsTheProgramIntoAnyPrefix) {
    const std::vector<std::string> folders = platform::CatalogueFolders("/opt/zelm/bin");
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0], "/opt/zelm/bin/locale");
    EXPECT_EQ(folders[1], "/opt/zelm/share/morvelplint/locale");
}

// The reader that stands in for gettext where there is none (the Windows build) gives every
// entry of the shipped catalogue as gettext gives it, and takes no truncated file.
TEST_F(MessagesTest, TheProgramsOwnCatalogueReaderAgreesWithGettext) {
    StartWithLang("en");
    std::ifstream in(std::string(MORVELPLINT_LOCALE_BUILD_DIR) + "/en/LC_MESSAGES/default.mo",
                     std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    platform::TMoCatalogue catalogue;
    ASSERT_TRUE(catalogue.Load(bytes.str()));
    ASSERT_GT(catalogue.Entries().size(), 100u);
    for (const auto& [original, translation] : catalogue.Entries())
        EXPECT_EQ(translation, Default(original.c_str())) << original;
    EXPECT_EQ(catalogue.Find("not in the catalogue"), nullptr);

    EXPECT_FALSE(catalogue.Load(bytes.str().substr(0, bytes.str().size() / 2)));
    EXPECT_TRUE(catalogue.Entries().empty());
}
