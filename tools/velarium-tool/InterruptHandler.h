#pragma once

#include <signal.h>

namespace velarium::tool {

// Calls `handler` on Ctrl-C (SIGINT) and SIGTERM for as long as it lives,
// then puts back what was there. With `once`, the first signal also puts
// back the default action, so that a second one ends the tool at once.
class InterruptHandler {
public:
    InterruptHandler(void (*handler)(int), bool once) {
        struct sigaction action {};
        action.sa_handler = handler;
        action.sa_flags = once ? SA_RESETHAND : 0;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInterrupt_);
        sigaction(SIGTERM, &action, &previousTerminate_);
    }
    ~InterruptHandler() {
        sigaction(SIGINT, &previousInterrupt_, nullptr);
        sigaction(SIGTERM, &previousTerminate_, nullptr);
    }
    InterruptHandler(const InterruptHandler&) = delete;
    InterruptHandler& operator=(const InterruptHandler&) = delete;

private:
    struct sigaction previousInterrupt_ {};
    struct sigaction previousTerminate_ {};
};

}  // namespace velarium::tool
