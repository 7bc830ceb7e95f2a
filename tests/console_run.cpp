#include "console_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace zorvex::test {

namespace {

std::string environment(const char* name, const char* fallback = "") {
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

}  // namespace

std::string consoleUnderTest() {
    return environment("ZORVEX_CUI", ZORVEX_DEFAULT_CUI);
}

std::string incompleteLibrary() {
    return environment("ZORVEX_INCOMPLETE_LIBRARY", ZORVEX_DEFAULT_INCOMPLETE_LIBRARY);
}

std::string lines(const std::string& text) {
    if (environment("ZORVEX_CUI_CRLF") != "1") {
        return text;
    }
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out.push_back('\r');
        }
        out.push_back(c);
    }
    return out;
}

ConsoleRun runConsole(const std::string& console, const std::vector<std::string>& arguments,
                      const std::string& scenario) {
    std::vector<std::string> command;
    std::istringstream launcher(environment("ZORVEX_CUI_LAUNCHER"));
    for (std::string word; launcher >> word;) {
        command.push_back(word);
    }
    command.push_back(console);
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : command) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    ConsoleRun run;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return run;
    }
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        if (scenario.empty()) {
            unsetenv("ZORVEX_SIM_DEVICES");
        } else {
            setenv("ZORVEX_SIM_DEVICES", scenario.c_str(), 1);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        run.output.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeEnds[0]);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        run.exitCode = WEXITSTATUS(status);
    }
    return run;
}

}  // namespace zorvex::test
