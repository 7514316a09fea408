// morvelplint-start.exe, what the Start menu's entries start: morvelplint-web.exe beside it,
// with the arguments it was given, in the user's own Documents\Morvelplint (made when it is
// not there), so that Morvelplint.ini is read from and saved where the user may write, for an
// installation for all users as for one. Both share the console window; Ctrl+C and closing
// the window reach morvelplint-web, which stops, and this program ends with its exit code. When
// morvelplint-web could not serve, the window stays open until Enter, so that its reason can
// be read.
#include <cstdio>
#include <string>
#include <windows.h>
#include <shlobj.h>

namespace {

bool Dutch() {
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_DUTCH;
}

void Say(const wchar_t* dutch, const wchar_t* english, DWORD code) {
    std::fwprintf(stderr, Dutch() ? dutch : english, static_cast<unsigned long>(code));
    std::fflush(stderr);
}

// The arguments after the program's own name, as they were written.
const wchar_t* Arguments(const wchar_t* line) {
    bool quoted = false;
    for (; *line && (quoted || (*line != L' ' && *line != L'\t')); ++line)
        if (*line == L'"')
            quoted = !quoted;
    while (*line == L' ' || *line == L'\t')
        ++line;
    return line;
}

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path.substr(0, path.find_last_of(L"\\/"));
        }
        path.resize(path.size() * 2);
    }
}

// The user's Documents\Morvelplint, wherever Documents is (also when it is redirected).
std::wstring WorkingFolder() {
    wchar_t* documents = nullptr;
    if (FAILED(::SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_CREATE, nullptr, &documents)))
        return {};
    std::wstring folder = std::wstring(documents) + L"\\Morvelplint";
    ::CoTaskMemFree(documents);
    if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return {};
    return folder;
}

BOOL WINAPI OnCtrl(DWORD event) {
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

void WaitForEnter() {
    Say(L"Druk op Enter om dit venster te sluiten.\n", L"Press Enter to close this window.\n", 0);
    std::getwchar();
}

} // namespace

int wmain() {
    const std::wstring folder = WorkingFolder();
    if (folder.empty() || !::SetCurrentDirectoryW(folder.c_str())) {
        Say(L"Kan de map Documenten\\Morvelplint niet maken of openen (Windows-fout %lu).\n",
            L"Cannot make or open the folder Documents\\Morvelplint (Windows error %lu).\n",
            ::GetLastError());
        WaitForEnter();
        return 1;
    }
    std::wstring command =
        L"\"" + ProgramFolder() + L"\\morvelplint-web.exe\" " + Arguments(::GetCommandLineW());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &process)) {
        Say(L"Kan morvelplint-web.exe niet starten (Windows-fout %lu).\n",
            L"Cannot start morvelplint-web.exe (Windows error %lu).\n", ::GetLastError());
        WaitForEnter();
        return 1;
    }
    ::CloseHandle(process.hThread);
    // Ctrl+C is for morvelplint-web, which stops cleanly on it; this program waits for that.
    // Set after the start: a child takes over a console's "ignore Ctrl+C", not a handler.
    ::SetConsoleCtrlHandler(OnCtrl, TRUE);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hProcess);
    // 0: stopped with Ctrl+C; a closed window ends this program before it gets here.
    if (code != 0) {
        Say(L"morvelplint-web stopte met code %lu.\n", L"morvelplint-web stopped with code %lu.\n",
            code);
        WaitForEnter();
    }
    return static_cast<int>(code);
}
