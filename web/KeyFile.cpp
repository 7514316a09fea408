#include "web/KeyFile.h"

#include "platform/Messages.h"
#include "web/AccessRules.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace web {

namespace {

namespace fs = std::filesystem;
using platform::Args;
using platform::Tr;

bool IsToken(const std::string& text) {
    if (text.size() != 32)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

std::string Contents(const std::string& token, const std::string& view) {
    return "# morvelplint-web's keys: whoever has the token may drive the rack, the view token\n"
           "# only watches. --new-key makes a new pair (old addresses stop working).\n"
           "token=" +
           token + "\nview=" + view + "\n";
}

// Written whole beside the file, then put in its place; only the owner may read it.
bool Write(const std::string& path, const std::string& text, std::string& error) {
    const std::string temporary = path + ".new";
#ifdef _WIN32
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            error = std::strerror(errno);
            return false;
        }
    }
#else
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = fchmod(fd, 0600) == 0 &&
              write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
              fsync(fd) == 0;
    if (!ok)
        error = std::strerror(errno);
    if (close(fd) != 0 && ok) {
        ok = false;
        error = std::strerror(errno);
    }
    if (!ok) {
        unlink(temporary.c_str());
        return false;
    }
#endif
    std::error_code code;
    fs::rename(temporary, path, code);
    if (code) {
        error = code.message();
        fs::remove(temporary, code);
        return false;
    }
    return true;
}

} // namespace

std::string KeyFolder() {
#ifdef _WIN32
    const char* profile = std::getenv("USERPROFILE");
    if (!profile || !*profile)
        return ".";
    const fs::path folder = fs::path(profile) / "Documents" / "Morvelplint";
    std::error_code code;
    fs::create_directories(folder, code);
    return folder.string();
#else
    return ".";
#endif
}

TKeyFile LoadKeyFile(const std::string& path, bool fresh) {
    TKeyFile keys;
    std::error_code code;
    const bool exists = fs::exists(fs::symlink_status(path, code));
    if (fresh || !exists) {
        keys.Token = MakeToken();
        keys.ViewToken = MakeToken();
        std::string error;
        if (!Write(path, Contents(keys.Token, keys.ViewToken), error)) {
            keys.Error = Args(Tr("kan het sleutelbestand %1 niet schrijven: %2"), {path, error});
            return keys;
        }
        keys.Ok = keys.Made = true;
        return keys;
    }
#ifndef _WIN32
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        keys.Error = Args(Tr("kan het sleutelbestand %1 niet lezen: %2"),
                          {path, std::strerror(errno)});
        return keys;
    }
    if (S_ISREG(status.st_mode) && (status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        keys.Error = Args(Tr("het sleutelbestand %1 is ook voor anderen te lezen of te "
                             "schrijven; maak het alleen voor de eigenaar (chmod 600 %1), of "
                             "maak nieuwe sleutels met --new-key"),
                          {path});
        return keys;
    }
#endif
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    if (in)
        text << in.rdbuf();
    if (!in || in.bad() || fs::is_directory(path, code)) {
        keys.Error = Args(Tr("kan het sleutelbestand %1 niet lezen: %2"),
                          {path, std::strerror(errno ? errno : EIO)});
        return keys;
    }
    std::string line;
    bool wrong = false;
    while (std::getline(text, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        if (line.rfind("token=", 0) == 0 && keys.Token.empty())
            keys.Token = line.substr(6);
        else if (line.rfind("view=", 0) == 0 && keys.ViewToken.empty())
            keys.ViewToken = line.substr(5);
        else
            wrong = true;
    }
    if (wrong || !IsToken(keys.Token) || !IsToken(keys.ViewToken) ||
        keys.Token == keys.ViewToken) {
        keys.Token.clear();
        keys.ViewToken.clear();
        keys.Error = Args(Tr("het sleutelbestand %1 is beschadigd (er horen twee regels in, "
                             "token= en view=, elk met 32 hexadecimale cijfers); herstel het, "
                             "of maak nieuwe sleutels met --new-key"),
                          {path});
        return keys;
    }
    keys.Ok = true;
    return keys;
}

} // namespace web
