#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

ChildOutcome runChild(const std::string& binary, const std::vector<std::string>& arguments,
                      const std::function<void(pid_t)>& onFirstOutput) {
  ChildOutcome outcome;
  int outPipe[2];
  int errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return outcome;
  std::vector<std::string> copies = arguments;
  copies.insert(copies.begin(), binary);
  std::vector<char*> argv;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t child = fork();
  if (child == 0) {
    int input = open("/dev/null", O_RDONLY);
    dup2(input, 0);
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    close(outPipe[0]);
    close(errPipe[0]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);

  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  bool hooked = !onFirstOutput;
  int open = 2;
  char buffer[8192];
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) continue;
    if (!hooked && (fds[0].revents & (POLLIN | POLLHUP))) {
      hooked = true;
      onFirstOutput(child);
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        (i == 0 ? outcome.out : outcome.err).append(buffer, static_cast<size_t>(got));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string lastLine(const std::string& text) {
  std::vector<std::string> lines = splitLines(text);
  return lines.empty() ? std::string() : lines.back();
}
