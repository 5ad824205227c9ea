#include "support/child_run.h"

#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "tools/capture/fnv1a.h"

namespace {

// The child's side: everything it reports, written once at its end.
struct Report {
  int fd = -1;
  std::vector<std::string> frames;
};
Report* report = nullptr;

void write_all(int fd, const std::string& text) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t written = ::write(fd, data, left);
    if (written <= 0) {
      return;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
}

void write_section(std::string& out, const char* name, const std::vector<std::string>& lines) {
  out += std::string(name) + " " + std::to_string(lines.size()) + "\n";
  for (const std::string& line : lines) {
    out += line + "\n";
  }
}

void send_report() {
  if (report == nullptr) {
    return;
  }
  std::string out;
  write_section(out, "calls", headless_call_log());
  write_section(out, "boxes", headless_message_boxes());
  write_section(out, "frames", report->frames);
  write_all(report->fd, out);
  ::close(report->fd);
  report = nullptr;
}

std::vector<std::string> read_section(const std::vector<std::string>& lines, std::size_t& at, const char* name) {
  std::vector<std::string> section;
  std::string head = std::string(name) + " ";
  if (at >= lines.size() || lines[at].compare(0, head.size(), head) != 0) {
    return section;
  }
  std::size_t count = std::strtoul(lines[at].c_str() + head.size(), nullptr, 10);
  ++at;
  for (std::size_t i = 0; i < count && at < lines.size(); ++i, ++at) {
    section.push_back(lines[at]);
  }
  return section;
}

}  // namespace

std::string default_frame_note(const std::uint16_t* pixels, std::uint32_t) {
  char text[40];
  std::snprintf(text, sizeof(text), "%04x %016llx", pixels[0],
                static_cast<unsigned long long>(fnv1a64(pixels, 128000)));
  return text;
}

ChildRun run_in_child(HeadlessScript script, const std::function<int()>& body, FrameNote note) {
  ChildRun run;
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) {
    return run;
  }
  std::fflush(nullptr);
  pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe_fds[0]);
    report = new Report{pipe_fds[1], {}};
    script.log_calls = true;
    script.frame_sink = [note, old_sink = script.frame_sink](const std::uint16_t* pixels, std::uint32_t frame) {
      report->frames.push_back(note(pixels, frame));
      if (frame >= max_child_frames) {
        // A run that should have ended long ago: report what it did and stop.
        send_report();
        std::_Exit(runaway_exit_code);
      }
      if (old_sink) {
        old_sink(pixels, frame);
      }
    };
    script.exit_hook = [old_hook = script.exit_hook](UINT code) {
      if (old_hook) {
        old_hook(code);
      }
      send_report();
    };
    headless_configure(std::move(script));
    int code = body();
    send_report();
    std::fflush(nullptr);
    std::_Exit(code);
  }
  ::close(pipe_fds[1]);
  std::string text;
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(pipe_fds[0], buffer, sizeof(buffer));
    if (got <= 0) {
      break;
    }
    text.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(pipe_fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  run.exited = WIFEXITED(status);
  run.exit_code = run.exited ? WEXITSTATUS(status) : -1;

  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      lines.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  std::size_t at = 0;
  run.calls = read_section(lines, at, "calls");
  run.message_boxes = read_section(lines, at, "boxes");
  run.frames = read_section(lines, at, "frames");
  return run;
}

std::vector<std::string> calls_named(const std::vector<std::string>& calls, const std::vector<std::string>& names) {
  std::vector<std::string> picked;
  for (const std::string& call : calls) {
    for (const std::string& name : names) {
      if (call.compare(0, name.size(), name) == 0 && (call.size() == name.size() || call[name.size()] == '(')) {
        picked.push_back(call);
        break;
      }
    }
  }
  return picked;
}
