// Signals reach the event loop as a Qt signal without disturbing the interrupted code's errno.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <csignal>

#include "bridge/termination_signals.h"

namespace draftwell::test {
namespace {

TEST(TerminationSignalsTest, SignalArrivesAsQtSignalAndErrnoSurvivesAFullPipe) {
    TerminationSignals signals({SIGUSR1});
    ASSERT_TRUE(signals.install());
    TerminationSignals second({SIGUSR2});
    EXPECT_FALSE(second.install());
    QSignalSpy received(&signals, &TerminationSignals::received);

    // Enough raises to fill the socket, so the handler's write fails and would set errno.
    bool errnoKept = true;
    for (int i = 0; i < 5000 && errnoKept; ++i) {
        errno = EDOM;
        std::raise(SIGUSR1);
        errnoKept = errno == EDOM;
    }
    EXPECT_TRUE(errnoKept);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !received.isEmpty(); }, 5000));
    EXPECT_EQ(received.first().first().toInt(), SIGUSR1);
}

} // namespace
} // namespace draftwell::test
