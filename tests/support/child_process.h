// Runs a program of the build (the console front end, the table tool) as a
// child process and collects what it wrote and how it ended.
#pragma once
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

struct ChildOutcome {
  int exitCode = -1;  // 128 + signal number when a signal ended it
  std::string out;
  std::string err;
};

// Runs `binary` with `arguments`, stdin from /dev/null (so every question
// takes its default answer). `onFirstOutput`, when given, is called once with
// the child's pid as soon as its stdout has data, before any of it is read.
ChildOutcome runChild(const std::string& binary, const std::vector<std::string>& arguments,
                      const std::function<void(pid_t)>& onFirstOutput = nullptr);

// The text split at line ends; and its last line ("" for none).
std::vector<std::string> splitLines(const std::string& text);
std::string lastLine(const std::string& text);
