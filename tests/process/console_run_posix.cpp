// Runs the console with fork and exec, its standard output through a pipe.
#include <sys/wait.h>
#include <unistd.h>

#include "console_run.h"
#include "test_platform.h"

namespace zorvex::test {

std::string chipSetTool() {
    return environment("ZORVEX_CHIP_SET_TOOL");
}

std::vector<std::string> consoleCommand(const std::filesystem::path& console,
                                        const std::vector<std::string>& arguments,
                                        const std::string& scenario) {
    std::vector<std::string> command;
    const std::string tool = chipSetTool();
    if (!tool.empty()) {
        command = {tool, scenario, "--"};
    }
    command.push_back(console.string());
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

ConsoleRun runConsole(const std::filesystem::path& console,
                      const std::vector<std::string>& arguments, const std::string& scenario) {
    std::vector<std::string> command = consoleCommand(console, arguments, scenario);
    std::vector<char*> argv;
    for (std::string& word : command) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    ConsoleRun run;
    const auto started = std::chrono::steady_clock::now();
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
            clearEnvironment("ZORVEX_SIM_DEVICES");
        } else {
            setEnvironment("ZORVEX_SIM_DEVICES", scenario);
        }
        execv(argv[0], argv.data());
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
    run.elapsed = std::chrono::steady_clock::now() - started;
    return run;
}

}  // namespace zorvex::test
