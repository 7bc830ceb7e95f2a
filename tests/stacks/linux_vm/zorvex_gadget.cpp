// zorvex_gadget SCENARIO -- PROGRAM [ARGUMENT...]
//
// Inside the Linux VM (tools/linux-vm): runs PROGRAM with the devices of
// the scenario file plugged in as USB devices of the running kernel, each a
// configfs gadget on a dummy_hcd controller of its own, taken by the driver
// the VM runs with (ZORVEX_VM_DRIVER: mcp2221, Linux's hid_mcp2221, or
// hid-generic with a hidraw node), and served by the project's emulator,
// which keeps the chips' state in the file. While PROGRAM runs, a device is
// plugged in or out, or in again from its flash, when the file says so
// (zorvex_simctl unplug, plug, replug). Exits with PROGRAM's exit code; 2
// when the devices cannot be made.
//
// The kernel's gadget HID function has four instances in all, so one set of
// devices serves every program in the VM, one program at a time. The first
// zorvex_gadget (the one tools/linux-vm starts) keeps them; every later one
// asks it, through a socket, to make them its file's, waits for its turn,
// and runs its program while they are. A device the kernel already has as
// the next file describes it stays plugged in: hid_mcp2221 in 6.1 takes a
// chip some 25 s after it is plugged in.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gadget_chips.h"

namespace {

using namespace zorvex;

constexpr const char* kSocket = "/run/zorvex-gadget.socket";
constexpr auto kServeStep = std::chrono::milliseconds(50);

int fail(const std::string& problem) {
    std::fprintf(stderr, "zorvex_gadget: %s\n", problem.c_str());
    return 2;
}

// The program, whose end is this one's: a signal to stop goes on to it, and
// this one ends when it has.
pid_t program = 0;

void passOn(int signal) {
    if (program > 0) {
        kill(program, signal);
    }
}

pid_t start(char** argv) {
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[0], argv);
        std::fprintf(stderr, "zorvex_gadget: cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    program = child;
    struct sigaction action {};
    action.sa_handler = passOn;
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    return child;
}

int exitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

sockaddr_un socketAddress() {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, kSocket, sizeof address.sun_path - 1);
    return address;
}

// A line from a socket, without its line break; false at its end.
bool readLine(int socket, std::string& line) {
    line.clear();
    char c = 0;
    while (read(socket, &c, 1) == 1) {
        if (c == '\n') {
            return true;
        }
        line.push_back(c);
    }
    return false;
}

void writeLine(int socket, const std::string& line) {
    const std::string text = line + "\n";
    const ssize_t written = write(socket, text.data(), text.size());
    static_cast<void>(written);
}

// A program whose devices another zorvex_gadget keeps: asks for them, then
// runs. -1 when there is no other.
int runAsGuest(const std::string& scenario, char** argv) {
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = socketAddress();
    if (socket < 0 ||
        connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (socket >= 0) {
            close(socket);
        }
        return -1;
    }
    writeLine(socket, scenario);
    std::string answer;
    if (!readLine(socket, answer) || answer != "ready") {
        close(socket);
        return fail(answer.empty() ? "the devices' keeper went away" : answer);
    }
    int status = 0;
    const pid_t child = start(argv);
    const bool waited = child > 0 && waitpid(child, &status, 0) == child;
    // Done once the keeper has stopped following the file: whoever changes
    // it next (the test, between two programs) changes it for the next.
    writeLine(socket, "done");
    readLine(socket, answer);
    close(socket);
    return waited ? exitCode(status) : fail(std::string("fork: ") + std::strerror(errno));
}

// Whose file the devices follow: the first program's, then each guest's
// while its program runs. Between guests they follow none, so that the
// next guest's turn starts from what the last one left.
enum class Following { firstProgram, guest, none };

// Serves the devices for one step, and lets a guest whose program is done
// go (it says so, or its connection ends), after the devices stop
// following its file.
void serveGuest(test::GadgetChips& chips, int& guest, Following& following) {
    pollfd connection{guest, POLLIN, 0};
    if (guest >= 0 && poll(&connection, 1, 0) > 0) {
        following = Following::none;
        std::string done;
        readLine(guest, done);
        writeLine(guest, "ok");
        close(guest);
        guest = -1;
    }
    test::serve(chips, kServeStep);
    if (following != Following::none) {
        test::followTheFile(chips);
    }
}

// Takes the next program asking for devices, if one is waiting: points the
// devices at its file and tells it to go.
void admitGuest(test::GadgetChips& chips, int listener, int& guest, Following& following) {
    pollfd waiting{listener, POLLIN, 0};
    if (guest >= 0 || poll(&waiting, 1, 0) <= 0) {
        return;
    }
    guest = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    std::string scenario;
    if (guest < 0 || !readLine(guest, scenario)) {
        if (guest >= 0) {
            close(guest);
        }
        guest = -1;
        return;
    }
    std::string problem;
    following = Following::guest;
    writeLine(guest, test::pointAt(chips, scenario, problem) ? "ready" : problem);
}

int keepDevices(const std::string& scenario, char** argv) {
    const char* driver = std::getenv("ZORVEX_VM_DRIVER");
    test::GadgetChips chips;
    chips.driver = driver != nullptr ? driver : "mcp2221";
    std::string problem;
    if (!test::pointAt(chips, scenario, problem)) {
        test::pullOut(chips);
        return fail(problem);
    }
    unlink(kSocket);
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = socketAddress();
    if (listener < 0 ||
        bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 64) != 0) {
        test::pullOut(chips);
        return fail(std::string(kSocket) + ": " + std::strerror(errno));
    }
    int status = 0;
    int guest = -1;
    Following following = Following::firstProgram;
    const pid_t child = start(argv);
    while (child > 0 && waitpid(child, &status, WNOHANG) == 0) {
        serveGuest(chips, guest, following);
        admitGuest(chips, listener, guest, following);
    }
    unlink(kSocket);
    close(listener);
    if (guest >= 0) {
        close(guest);
    }
    test::pullOut(chips);
    return child > 0 ? exitCode(status) : fail(std::string("fork: ") + std::strerror(errno));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || std::strcmp(argv[2], "--") != 0) {
        std::fputs("usage: zorvex_gadget SCENARIO -- PROGRAM [ARGUMENT...]\n", stderr);
        return 2;
    }
    const int guest = runAsGuest(argv[1], argv + 3);
    return guest >= 0 ? guest : keepDevices(argv[1], argv + 3);
}
