// Test launcher for Windows programs under Wine. Wine rebuilds a command line
// from its own argv (quoting, escaping), so tests cannot pass an exact line
// through it; this launcher takes the line hex-encoded and hands it to
// CreateProcessA unchanged.
//
//   launcher.exe APPLICATION HEXLINE [pipe|inherit|none|broken]
//
// pipe (default): the child writes into a pipe that is copied to our stdout;
// inherit: the child writes straight to our stdout (a file, /dev/full);
// none: the child has no standard output at all;
// broken: the child's standard output is a pipe nobody reads.
// The exit status is the child's, or 250 when the launcher itself fails.
#include <windows.h>

#include <cstring>
#include <string>

namespace {

constexpr UINT kLauncherFailed = 250;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Unhex(const char* hex) {
    std::string bytes;
    for (; hex[0] != '\0' && hex[1] != '\0'; hex += 2)
        bytes.push_back(static_cast<char>(HexValue(hex[0]) * 16 + HexValue(hex[1])));
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) ExitProcess(kLauncherFailed);
    std::string mode = argc > 3 ? argv[3] : "pipe";
    std::string line = Unhex(argv[2]);

    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE ours = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE readEnd = nullptr, childOutput = nullptr;
    if (mode == "pipe" || mode == "broken") {
        if (!CreatePipe(&readEnd, &childOutput, &inheritable, 0)) ExitProcess(kLauncherFailed);
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        if (mode == "broken") {
            CloseHandle(readEnd);
            readEnd = nullptr;
        }
    } else if (mode == "inherit") {
        childOutput = ours;
    }

    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = childOutput;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    if (!CreateProcessA(argv[1], line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        ExitProcess(kLauncherFailed);
    if (childOutput != nullptr && childOutput != ours) CloseHandle(childOutput);

    if (readEnd != nullptr) {
        char buffer[4096];
        DWORD got = 0, put = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
            WriteFile(ours, buffer, got, &put, nullptr);
        CloseHandle(readEnd);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = kLauncherFailed;
    GetExitCodeProcess(process.hProcess, &status);
    ExitProcess(status);
}
