// zorvexctl: switches DELOQ-72N units from scripts, and says whether it
// worked.
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "list_output.h"
#include "local_units.h"
#include "remote_units.h"

namespace {

using namespace zorvex::ctl;

constexpr int kUsageError = 2;

int fail(const std::string& problem, int code) {
    std::fprintf(stderr, "zorvexctl: %s\n", problem.c_str());
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    Request request;
    std::string problem;
    if (!readCommandLine(std::vector<std::string>(argv + 1, argv + argc), request, problem)) {
        return fail(problem, kUsageError);
    }
    if (request.action == Action::help || request.action == Action::version) {
        std::fputs(request.action == Action::help ? kUsage : "zorvexctl " ZORVEX_VERSION "\n",
                   stdout);
        return 0;
    }
    Known known;
    if (!readKnown(request, known, problem)) {
        return fail(problem, kUsageError);
    }
    const bool remote = !request.broker.empty();
    if (request.action == Action::list) {
        std::vector<UnitRow> rows;
        if (remote) {
            const Outcome outcome = runThroughBroker(request, known, &rows);
            if (!outcome.done) {
                return fail(outcome.problem, 1);
            }
        } else {
            rows = listLocally(known);
        }
        const std::string text = request.json ? listJson(rows) : listText(rows);
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    const Outcome outcome =
        remote ? runThroughBroker(request, known, nullptr) : runLocally(request, known);
    if (!outcome.done) {
        return fail(outcome.problem, 1);
    }
    if (request.action == Action::state) {
        std::printf("%s\n", outcome.state.c_str());
    }
    return 0;
}
