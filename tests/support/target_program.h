// Starting programs of this build from a test. On a cross build for Linux on another processor
// (ARM under qemu) those programs cannot be started directly: they run behind the same
// emulator as the test programs themselves, which the build names in TEST_TARGET_EMULATOR.
// Natively, and in the Windows build under Wine, the emulator is empty.
#pragma once

#include <string>
#include <vector>

#ifndef TEST_TARGET_EMULATOR
#define TEST_TARGET_EMULATOR ""
#endif

namespace testsupport {

// The emulator's path, or "" when programs of this build run directly.
inline std::string TargetEmulator() {
    return TEST_TARGET_EMULATOR;
}

// The start of a shell command that runs program: its path in single quotes, behind the
// emulator's when there is one. The caller appends the arguments.
inline std::string TargetCommand(const std::string& program) {
    const std::string emulator = TargetEmulator();
    std::string command = emulator.empty() ? std::string() : "'" + emulator + "' ";
    return command + "'" + program + "'";
}

// The argument vector that execv takes to run program with these arguments (argv[0] is
// program); its first entry is the file to execute.
inline std::vector<std::string> TargetArgv(const std::string& program,
                                           const std::vector<std::string>& arguments) {
    std::vector<std::string> argv;
    if (!TargetEmulator().empty()) argv.push_back(TargetEmulator());
    argv.push_back(program);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

}  // namespace testsupport
