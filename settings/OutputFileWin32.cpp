// Writing the program's files on Windows: a regular file replaced through a new file beside it
// that takes the old one's place in one step; a device (NUL, a COM port, a named pipe) and
// standard output written where they are; every write checked to its end.
#include "platform/TextWin32.h"
#include "settings/OutputFile.h"

#include <cwctype>
#include <filesystem>
#include <system_error>
#include <windows.h>
// The Win32 function of the same name is a macro; this file defines the program's.
#undef ReplaceFile

namespace bus {

namespace fs = std::filesystem;

namespace {

using platform::PathOf;

std::string Reason(DWORD code) {
    return std::system_category().message(static_cast<int>(code));
}

// A device's name rather than a file's: \\.\ names (devices, named pipes) and the reserved
// names (NUL, CON, COM1, ...), which exist in every folder.
bool IsDeviceName(const std::string& path) {
    if (path.starts_with("\\\\.\\") || path.starts_with("//./"))
        return true;
    std::wstring stem = PathOf(path).stem().wstring();
    for (wchar_t& c : stem)
        c = static_cast<wchar_t>(std::towupper(c));
    if (stem == L"NUL" || stem == L"CON" || stem == L"PRN" || stem == L"AUX")
        return true;
    return stem.size() == 4 && (stem.starts_with(L"COM") || stem.starts_with(L"LPT")) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}

DWORD WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > (1u << 30) ? 1u << 30 : static_cast<DWORD>(bytes.size());
        DWORD done = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &done, nullptr))
            return ::GetLastError();
        bytes.remove_prefix(done);
    }
    return ERROR_SUCCESS;
}

// A handle written to as it goes; a file's is flushed to the disc at the end.
class THandleOutput final : public TOutputStream {
public:
    THandleOutput(HANDLE handle, bool owned, bool disk)
        : mHandle(handle), mOwned(owned), mDisk(disk) {}
    ~THandleOutput() override {
        if (mOwned && mHandle != INVALID_HANDLE_VALUE)
            ::CloseHandle(mHandle);
    }

    std::ptrdiff_t WriteSome(std::string_view bytes, int, std::string& error) override {
        if (const DWORD code = WriteAll(mHandle, bytes)) {
            error = Reason(code);
            return -1;
        }
        return static_cast<std::ptrdiff_t>(bytes.size());
    }

    bool Close(std::string& error) override {
        DWORD code = ERROR_SUCCESS;
        if (mDisk && !::FlushFileBuffers(mHandle))
            code = ::GetLastError();
        if (mOwned && !::CloseHandle(mHandle) && code == ERROR_SUCCESS)
            code = ::GetLastError();
        mHandle = INVALID_HANDLE_VALUE;
        if (code != ERROR_SUCCESS)
            error = Reason(code);
        return code == ERROR_SUCCESS;
    }

private:
    HANDLE mHandle;
    bool mOwned;
    bool mDisk;
};

std::unique_ptr<THandleOutput> InPlaceOutput(const std::string& path, std::string& error) {
    if (IsStandardOutput(path)) {
        const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
        if (out == INVALID_HANDLE_VALUE || out == nullptr) {
            error = Reason(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        return std::make_unique<THandleOutput>(out, false, ::GetFileType(out) == FILE_TYPE_DISK);
    }
    const HANDLE device = ::CreateFileW(PathOf(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        error = Reason(::GetLastError());
        return nullptr;
    }
    return std::make_unique<THandleOutput>(device, true, false);
}

// The new file beside `target` that takes its place: written, flushed, and moved over it.
DWORD WriteBeside(const fs::path& target, std::string_view bytes) {
    fs::path temporary = target;
    temporary += L".new";
    const HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ::GetLastError();
    DWORD code = WriteAll(file, bytes);
    if (code == ERROR_SUCCESS && !::FlushFileBuffers(file))
        code = ::GetLastError();
    if (!::CloseHandle(file) && code == ERROR_SUCCESS)
        code = ::GetLastError();
    if (code == ERROR_SUCCESS && !::MoveFileExW(temporary.c_str(), target.c_str(),
                                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        code = ::GetLastError();
    if (code != ERROR_SUCCESS)
        ::DeleteFileW(temporary.c_str());
    return code;
}

} // namespace

bool IsStandardOutput(const std::string& path) {
    return path == "-";
}

bool CheckOutputFile(const std::string& path, std::string& error) {
    if (IsStandardOutput(path) || IsDeviceName(path))
        return true;
    const fs::path target = PathOf(path);
    std::error_code code;
    if (fs::is_directory(target, code)) {
        error = std::make_error_code(std::errc::is_a_directory).message();
        return false;
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(L".");
    if (!fs::is_directory(folder, code)) {
        error = platform::Utf8(folder.wstring()) + ": " +
                (code ? code.message()
                 : fs::exists(folder, code)
                     ? std::make_error_code(std::errc::not_a_directory).message()
                     : std::make_error_code(std::errc::no_such_file_or_directory).message());
        return false;
    }
    // Whether the folder takes a new file is known only by making one.
    fs::path probe = target;
    probe += L".probe";
    const HANDLE file =
        ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = platform::Utf8(folder.wstring()) + ": " + Reason(::GetLastError());
        return false;
    }
    ::CloseHandle(file);
    return true;
}

bool ReplaceFile(const std::string& path, std::string_view bytes, std::string& error) {
    if (const DWORD code = WriteBeside(PathOf(path), bytes)) {
        error = Reason(code);
        return false;
    }
    return true;
}

bool SaveFile(const std::string& path, std::string_view bytes, std::string& error) {
    if (!IsStandardOutput(path) && !IsDeviceName(path))
        return ReplaceFile(path, bytes, error);
    const std::unique_ptr<THandleOutput> output = InPlaceOutput(path, error);
    return output && output->WriteSome(bytes, StallLimitMs, error) >= 0 && output->Close(error);
}

std::unique_ptr<TOutputStream> OpenOutputStream(const std::string& path, std::string_view head,
                                                std::string& error) {
    if (IsStandardOutput(path) || IsDeviceName(path)) {
        std::unique_ptr<THandleOutput> output = InPlaceOutput(path, error);
        if (output && output->WriteSome(head, StallLimitMs, error) < 0)
            return nullptr;
        return output;
    }
    // The head replaces the old file in one step; the stream then appends to the new one.
    const fs::path target = PathOf(path);
    if (const DWORD code = WriteBeside(target, head)) {
        error = Reason(code);
        return nullptr;
    }
    const HANDLE file = ::CreateFileW(target.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = Reason(::GetLastError());
        return nullptr;
    }
    return std::make_unique<THandleOutput>(file, true, true);
}

} // namespace bus
