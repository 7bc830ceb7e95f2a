// Runs the console with CreateProcessW, its standard output through a pipe;
// on Wine's own HID stack, after zorvex_winehid has plugged in the
// scenario's devices.
#include <windows.h>

#include <cstdio>

#include "console_run.h"
#include "test_platform.h"

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

// A program whose standard output comes through a pipe to this process.
struct Child {
    OwnedHandle output;
    OwnedHandle process;
    std::chrono::steady_clock::time_point started;
    bool running = false;
};

// Starts the program; with ZORVEX_SIM_DEVICES set to `*scenario` (unset
// when empty) when a scenario is given, in this process's environment as it
// is otherwise.
void start(Child& child, std::wstring commandLine, const std::string* scenario) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    OwnedHandle writeEnd;
    if (!CreatePipe(child.output.out(), writeEnd.out(), &inheritable, 0)) {
        std::fprintf(stderr, "console_run: CreatePipe failed: error %lu\n", GetLastError());
        return;
    }
    SetHandleInformation(child.output.get(), HANDLE_FLAG_INHERIT, 0);

    // The child inherits this process's environment block.
    if (scenario != nullptr) {
        SetEnvironmentVariableA("ZORVEX_SIM_DEVICES",
                                scenario->empty() ? nullptr : scenario->c_str());
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    child.started = std::chrono::steady_clock::now();
    // Wine 8 fails about one start of a 64-bit program in 2,000 before any
    // of it runs (err:virtual: "failed to map the shared user data",
    // STATUS_CONFLICTING_ADDRESSES), and CreateProcessW says
    // ERROR_INTERNAL_ERROR. Nothing of the program ran then: it is started
    // once more, and that is said.
    for (int attempt = 0;; ++attempt) {
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                           &startup, &process)) {
            break;
        }
        const DWORD error = GetLastError();
        std::fprintf(stderr, "console_run: CreateProcessW failed: error %lu: %ls\n", error,
                     commandLine.c_str());
        if (error != ERROR_INTERNAL_ERROR || attempt > 0) {
            return;
        }
    }
    *child.process.out() = process.hProcess;
    CloseHandle(process.hThread);
    child.running = true;
}

ConsoleRun finish(Child& child) {
    ConsoleRun run;
    if (!child.running) {
        return run;
    }
    child.running = false;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(child.output.get(), buffer, sizeof buffer, &n, nullptr) && n > 0) {
        run.output.append(buffer, n);
    }
    WaitForSingleObject(child.process.get(), INFINITE);
    run.elapsed = std::chrono::steady_clock::now() - child.started;
    DWORD exitCode = 0;
    if (GetExitCodeProcess(child.process.get(), &exitCode)) {
        run.exitCode = static_cast<int>(exitCode);
    } else {
        std::fprintf(stderr, "console_run: GetExitCodeProcess failed: error %lu\n", GetLastError());
    }
    return run;
}

std::wstring commandLineOf(const std::filesystem::path& program,
                           const std::vector<std::string>& arguments) {
    std::wstring commandLine = quoted(program.wstring());
    for (const std::string& argument : arguments) {
        commandLine += L" " + quoted(widened(argument));
    }
    return commandLine;
}

}  // namespace

std::filesystem::path wineHidTool() {
    return buildPath(environment("ZORVEX_WINEHID_TOOL"));
}

bool onWineHidStack() {
    return !wineHidTool().empty();
}

bool wineHid(const std::vector<std::string>& arguments) {
    Child tool;
    start(tool, commandLineOf(wineHidTool(), arguments), nullptr);
    const int exitCode = finish(tool).exitCode;
    if (exitCode != 0) {
        std::fprintf(stderr, "console_run: zorvex_winehid %s: exit code %d\n",
                     arguments.empty() ? "" : arguments[0].c_str(), exitCode);
    }
    return exitCode == 0;
}

struct StartedConsole::Process {
    Child child;
};

StartedConsole::StartedConsole(const std::filesystem::path& console,
                               const std::vector<std::string>& arguments,
                               const std::string& scenario)
    : process_(new Process) {
    if (onWineHidStack() &&
        !wineHid(scenario.empty() ? std::vector<std::string>{"plug"}
                                  : std::vector<std::string>{"plug", scenario})) {
        return;
    }
    start(process_->child, commandLineOf(console, arguments), &scenario);
}

StartedConsole::~StartedConsole() {
    finish();
    delete process_;
}

ConsoleRun StartedConsole::finish() {
    return zorvex::test::finish(process_->child);
}

ConsoleRun runConsole(const std::filesystem::path& console,
                      const std::vector<std::string>& arguments, const std::string& scenario) {
    return StartedConsole(console, arguments, scenario).finish();
}

}  // namespace zorvex::test
