// The PC speaker driver against a pipe in place of the input-event device.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/linux/tone/devices/held_tone.h"
#include "platform/linux/tone/tone_call.h"
#include "platform/platform.h"

namespace {

using namespace platform::linux_system;

struct Fifo {
    std::string path;
    int reader = -1;
    Fifo() {
        char folder[] = "/tmp/tonerix-speaker-XXXXXX";
        path = std::string(mkdtemp(folder)) + "/spkr";
        mkfifo(path.c_str(), 0600);
        reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    }
    ~Fifo() {
        close(reader);
        unlink(path.c_str());
        rmdir(path.substr(0, path.rfind('/')).c_str()); // the host keeps no folder of ours
    }
    // The tone values written so far, without waiting for more.
    std::vector<int> ToneValuesSoFar() {
        std::vector<int> values;
        input_event event;
        while (read(reader, &event, sizeof event) == sizeof event)
            values.push_back(event.value);
        return values;
    }
    std::vector<int> ToneValues() {
        fcntl(reader, F_SETFL, 0); // block until the writer closes
        std::vector<int> values;
        input_event event;
        while (read(reader, &event, sizeof event) == sizeof event) {
            EXPECT_EQ(event.type, EV_SND);
            EXPECT_EQ(event.code, SND_TONE);
            values.push_back(event.value);
        }
        return values;
    }
};

// A session of the test's own, both shares released at the end.
struct Session {
    ToneCall& call = *ToneCall::Create({440, 30, Now() + 30 * kMillisecond}, {}, -1);
    ~Session() {
        call.Release();
        call.Release();
    }
};

TEST(SpeakerTest, SwitchesTheToneOnThenOff) {
    Fifo fifo;
    Session session;
    ASSERT_TRUE(HoldToneOnSpeakerEvents(fifo.path.c_str(), session.call));
    EXPECT_GE(Now(), session.call.Request().end);
    EXPECT_EQ(fifo.ToneValues(), (std::vector<int>{440, 0}));
}

TEST(SpeakerTest, MissingDeviceDeclines) {
    Session session;
    EXPECT_FALSE(HoldToneOnSpeakerEvents("/nonexistent/spkr", session.call));
}

TEST(SpeakerTest, TheConsoleIsAskedOnlyWhereTheKernelHasAToneDevice) {
    // (the kernel's list of input devices; whether a console's tone reaches a
    // device; whether there is a list to read)
    const char* speaker = "N: Name=\"PC Speaker\"\nB: PROP=0\nB: EV=40001\nB: SND=6\n\n";
    const char* keyboard = "N: Name=\"AT keyboard\"\nB: EV=120013\nB: KEY=402000000 0\n\n";
    struct Case {
        std::string listing;
        bool asked, readable = true;
    };
    for (const Case& c : {Case{speaker, true}, Case{std::string(keyboard) + speaker, true},
                          Case{keyboard, false}, Case{"B: SND=2\n", false}, // a bell alone
                          Case{"", false}, Case{"", true, false}}) {
        SCOPED_TRACE(c.listing);
        char path[] = "/tmp/tonerix-input-XXXXXX";
        int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, c.listing.data(), c.listing.size()), ssize_t(c.listing.size()));
        close(fd);
        if (!c.readable) unlink(path); // nothing to go by: the console is asked
        EXPECT_EQ(KernelHasToneDevice(path), c.asked);
        unlink(path);
    }
}

// Sounds 880 Hz for `ms` through the whole tone service in a child process,
// with the FIFO as the speaker, and ends the child as soon as the call returns.
pid_t SoundInChild(const Fifo& fifo, std::uint32_t ms = 5000) {
    pid_t child = fork();
    if (child == 0) {
        // A test runner started in the background may pass SIGINT on ignored.
        std::signal(SIGINT, SIG_DFL);
        // A group of its own, whose parent is in another group of the session:
        // the kernel discards a terminal stop sent to an orphaned group.
        setpgid(0, 0);
        static const char* device = fifo.path.c_str();
        const ToneDriver drivers[] = {
            {"fifo", [](ToneCall& s) { HoldToneOnSpeakerEvents(device, s); }}};
        SoundTone(drivers, 880, ms);
        _exit(0);
    }
    return child;
}

TEST(SpeakerTest, StopSignalSilencesAndEndsByThatSignal) {
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        Fifo fifo;
        pid_t child = SoundInChild(fifo);
        usleep(200 * 1000);
        kill(child, signal);
        Nanoseconds sent = Now();
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_LT(Now() - sent, 500 * kMillisecond) << "ended at once, not at the tone's end";
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), signal);
        std::vector<int> values = fifo.ToneValues();
        ASSERT_GE(values.size(), 2u);
        EXPECT_EQ(values.front(), 880);
        EXPECT_EQ(values.back(), 0);
    }
}

TEST(SpeakerTest, TerminalStopSilencesUntilContinued) {
    Fifo fifo;
    pid_t child = SoundInChild(fifo);
    usleep(200 * 1000);
    kill(child, SIGTSTP);
    int status = 0;
    waitpid(child, &status, WUNTRACED);
    ASSERT_TRUE(WIFSTOPPED(status));
    EXPECT_EQ(WSTOPSIG(status), SIGTSTP);
    EXPECT_EQ(fifo.ToneValuesSoFar(), (std::vector<int>{880, 0})) << "silent while stopped";

    kill(child, SIGCONT);
    usleep(100 * 1000);
    EXPECT_EQ(fifo.ToneValuesSoFar(), std::vector<int>{880}) << "sounding again";
    kill(child, SIGINT);
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(fifo.ToneValues().back(), 0);
}

TEST(SpeakerTest, TerminalStopThenContinueLetsTheRestOfTheTonePlay) {
    Fifo fifo;
    Nanoseconds began = Now();
    pid_t child = SoundInChild(fifo, 600);
    usleep(200 * 1000);
    kill(child, SIGTSTP);
    int status = 0;
    waitpid(child, &status, WUNTRACED);
    kill(child, SIGCONT);
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_GE(Now() - began, 600 * kMillisecond) << "played out to the tone's end";
    EXPECT_EQ(fifo.ToneValues(), (std::vector<int>{880, 0, 880, 0}));
}

TEST(SpeakerTest, ContinuedAfterTheToneIsOverStaysSilent) {
    // Stopped during a 300 ms tone, continued 200-500 ms after its end: the
    // call returns at once and the process ends with it, so whatever switched
    // the speaker last must have switched it off. Children run side by side.
    constexpr int kRuns = 30;
    std::vector<Fifo> fifos(kRuns);
    std::vector<pid_t> children;
    for (Fifo& fifo : fifos)
        children.push_back(SoundInChild(fifo, 300));
    usleep(100 * 1000);
    for (pid_t child : children)
        kill(child, SIGTSTP);
    usleep((300 - 100 + 200) * 1000);
    for (int run = 0; run < kRuns; ++run) {
        usleep(10 * 1000); // 200-500 ms past the end
        kill(children[run], SIGCONT);
    }
    // A child stopped before it had sounded (a slow start, under emulation)
    // never sounds after its time; most must have sounded.
    int sounded = 0;
    for (int run = 0; run < kRuns; ++run) {
        int status = 0;
        waitpid(children[run], &status, 0);
        EXPECT_TRUE(WIFEXITED(status)) << "run " << run;
        std::vector<int> values = fifos[run].ToneValues();
        sounded += !values.empty();
        EXPECT_TRUE(values.empty() || values.back() == 0) << "run " << run << ": left sounding";
    }
    EXPECT_GT(sounded, kRuns / 2);
}

} // namespace
