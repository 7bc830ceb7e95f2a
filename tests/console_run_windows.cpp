// Runs the console with CreateProcessW, its standard output through a pipe.
#include <windows.h>

#include "console_run.h"

namespace zorvex::test {

namespace {

// One argument as the C runtime's command-line parser will read it back.
std::wstring quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(2 * backslashes, L'\\');
    out.push_back(L'"');
    return out;
}

std::wstring widened(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

class OwnedHandle {
  public:
    explicit OwnedHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~OwnedHandle() { reset(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    void reset() {
        if (handle_ != nullptr) {
            CloseHandle(handle_);
            handle_ = nullptr;
        }
    }
    HANDLE* out() { return &handle_; }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

}  // namespace

ConsoleRun runConsole(const std::filesystem::path& console,
                      const std::vector<std::string>& arguments, const std::string& scenario) {
    std::wstring commandLine = quoted(console.wstring());
    for (const std::string& argument : arguments) {
        commandLine += L" " + quoted(widened(argument));
    }

    ConsoleRun run;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    OwnedHandle readEnd;
    OwnedHandle writeEnd;
    if (!CreatePipe(readEnd.out(), writeEnd.out(), &inheritable, 0)) {
        return run;
    }
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    // The child inherits this process's environment block.
    SetEnvironmentVariableA("ZORVEX_SIM_DEVICES", scenario.empty() ? nullptr : scenario.c_str());

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    writeEnd.reset();
    if (!started) {
        return run;
    }
    const OwnedHandle processHandle(process.hProcess);
    const OwnedHandle threadHandle(process.hThread);

    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(readEnd.get(), buffer, sizeof buffer, &n, nullptr) && n > 0) {
        run.output.append(buffer, n);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    if (GetExitCodeProcess(process.hProcess, &exitCode)) {
        run.exitCode = static_cast<int>(exitCode);
    }
    return run;
}

}  // namespace zorvex::test
