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

#include "platform/linux/tone/tone.h"
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

TEST(SpeakerTest, SwitchesTheToneOnThenOff) {
    Fifo fifo;
    ToneRequest request{440, 30, Now() + 30 * kMillisecond};
    ASSERT_TRUE(SoundThroughSpeakerEvents(fifo.path.c_str(), request));
    EXPECT_GE(Now(), request.end);
    EXPECT_EQ(fifo.ToneValues(), (std::vector<int>{440, 0}));
}

TEST(SpeakerTest, MissingDeviceDeclines) {
    ToneRequest request{440, 30, Now() + 30 * kMillisecond};
    EXPECT_FALSE(SoundThroughSpeakerEvents("/nonexistent/spkr", request));
}

// Sounds 880 Hz for 5 s through the whole tone service in a child process,
// with the FIFO as the speaker.
pid_t SoundInChild(const Fifo& fifo) {
    pid_t child = fork();
    if (child == 0) {
        // A test runner started in the background may pass SIGINT on ignored.
        std::signal(SIGINT, SIG_DFL);
        // A group of its own, whose parent is in another group of the session:
        // the kernel discards a terminal stop sent to an orphaned group.
        setpgid(0, 0);
        static const char* device = fifo.path.c_str();
        const ToneDriver drivers[] = {
            {"fifo", [](const ToneRequest& r) { return SoundThroughSpeakerEvents(device, r); }}};
        SoundTone(drivers, 880, 5000);
        _exit(0);
    }
    usleep(200 * 1000);
    return child;
}

TEST(SpeakerTest, StopSignalSilencesAndEndsByThatSignal) {
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        Fifo fifo;
        pid_t child = SoundInChild(fifo);
        kill(child, signal);
        int status = 0;
        waitpid(child, &status, 0);
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

} // namespace
