// The hand-off tests' entry point: an event loop for the main thread.
#include <gtest/gtest.h>

#include <QCoreApplication>

#if defined(__SANITIZE_THREAD__)
// Qt is not instrumented, so ThreadSanitizer cannot see that its event queue
// orders a queued call's posting thread before the receiving one. Left out
// are only what follows from that: the memory QtCore itself allocates and
// frees for the posted event, and reads of the call's slot object, made on
// the posting thread. A race inside the called function is still reported.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so\n"
           "race_top:QtPrivate::QSlotObject\n";
}
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
