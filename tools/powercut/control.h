// The control socket: a Unix-domain stream socket, one line per command, and one line per
// reply that starts with "ok" or with "error <reason>".
#pragma once

#include <functional>
#include <string>

// Takes one command line (without its newline), returns the reply line; sets quit to end.
using LineHandler = std::function<std::string(const std::string& line, bool& quit)>;

// A listening socket at path; a socket file left there by an earlier run is replaced.
// -1 with error set when it cannot be made.
int listen_at(const std::string& path, std::string& error);

// Serves one connection after another, each for as many lines as it sends, until the handler
// sets quit or stop_fd (a signalfd) becomes readable.
void serve_lines(int listener, int stop_fd, const LineHandler& handle);

// Sends one command line and prints the reply line: 0 if it starts with "ok", 1 otherwise.
int send_line(const std::string& path, const std::string& line);
