// Splitting a whole command line into arguments.
#include <string>
#include <vector>

#include "runtime/arguments.h"
#include "unit/runtime_fixture.h"
#include "unit/table_file.h"

namespace {

using Arguments = std::vector<std::string>;

class ArgumentsTest : public RuntimeTest {
  protected:
    Arguments Split(const std::string& line, std::int32_t& count) {
        system().commandLine = line;
        count = ArgumentCount();
        Arguments arguments;
        Text argument;
        for (std::int32_t index = 1; index <= count + 1; ++index) {
            ArgumentAt(index, argument);
            if (index <= count)
                arguments.emplace_back(argument.View());
            else
                EXPECT_TRUE(argument.Empty()) << "nothing behind the last argument";
        }
        return arguments;
    }
};

TEST_F(ArgumentsTest, SplitsByQuotingRules) {
    for (const TableRow& row : ReadTable("splitting.txt")) {
        SCOPED_TRACE(row[0]);
        std::int32_t count = -1;
        EXPECT_EQ(Split(row[0], count), Arguments(row.begin() + 1, row.end()));
        EXPECT_EQ(count, static_cast<std::int32_t>(row.size() - 1));
    }
}

TEST_F(ArgumentsTest, IndexesOutsideTheLineGiveTheEmptyText) {
    system().commandLine = "tonerix.exe 440 250";
    Text argument;
    for (std::int32_t index : {3, 4, -1, -2147483647 - 1}) {
        ArgumentAt(index, argument);
        EXPECT_TRUE(argument.Empty()) << index;
    }
}

TEST_F(ArgumentsTest, IndexZeroIsTheExecutablePath) {
    struct Case {
        std::string path;
        std::string expected;
    };
    const Case cases[] = {
        {"C:\\tools\\tonerix.exe", "C:\\tools\\tonerix.exe"},
        {"", ""},                                       // the platform could not tell
        {std::string(300, 'p'), std::string(261, 'p')}, // as much as the buffer holds
    };
    for (const Case& c : cases) {
        system().commandLine = "\"other name\" 1 2";
        system().modulePath = c.path;
        system().commandLineFetches = 0;
        Text argument;
        ArgumentAt(0, argument);
        EXPECT_EQ(argument.View(), c.expected);
        EXPECT_EQ(system().commandLineFetches, 0);
    }
}

TEST_F(ArgumentsTest, AllocationFailureEndsWith203) {
    system().commandLine = "tonerix.exe 440 250";
    system().failAllocationAt = 2; // argument 1's text
    EXPECT_EQ(fake::RunUntilExit([] { ArgumentCount(); }), 203u);
    EXPECT_EQ(system().Output().substr(0, 21), "Runtime error 203 at ");
}

} // namespace
