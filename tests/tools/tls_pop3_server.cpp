// tls_pop3_server: a POP3 server over TLS from the first byte, with a
// certificate of the test's choosing, on one literal address. Answers USER, PASS, STAT ("+OK 3 320") and QUIT; one
// connection at a time, until killed. Prints "listening", then each command
// line received.
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

namespace {

// A client that stops talking does not hold the server up for long.
void ReceiveLimit(int socket, int ms) {
  const timeval limit{ms / 1000, (ms % 1000) * 1000};
  setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

class Session {
 public:
  Session(SSL_CTX* context, int socket) : m_context(context), m_socket(socket) {}
  ~Session() {
    if (m_ssl) {
      SSL_shutdown(m_ssl);
      SSL_free(m_ssl);
    }
  }

  void Run() {
    if (!Secure()) return;
    Say("+OK ready");
    for (std::string line; ReadLine(line);) {
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
      if (line == "QUIT") {
        Say("+OK bye");
        return;
      } else if (line == "STAT") {
        Say("+OK 3 320");
      } else if (line.rfind("USER ", 0) == 0 || line.rfind("PASS ", 0) == 0) {
        Say("+OK");
      } else {
        Say("-ERR unknown");
      }
    }
  }

 private:
  bool Secure() {
    m_ssl = SSL_new(m_context);
    return m_ssl && SSL_set_fd(m_ssl, m_socket) == 1 && SSL_accept(m_ssl) == 1;
  }

  void Say(const std::string& text) {
    const std::string line = text + "\r\n";
    SSL_write(m_ssl, line.data(), static_cast<int>(line.size()));
  }
  bool ReadLine(std::string& line) {
    line.clear();
    for (char byte;;) {
      if (SSL_read(m_ssl, &byte, 1) != 1) return false;
      if (byte == '\n') break;
      if (byte != '\r') line += byte;
    }
    return true;
  }

  SSL_CTX* m_context;
  int m_socket;
  SSL* m_ssl = nullptr;
};

int Listen(const char* address, const char* port) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(address, port, &hints, &found) != 0) return -1;
  const int listener = socket(found->ai_family, SOCK_STREAM, 0);
  const int yes = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  const bool ready = bind(listener, found->ai_addr, found->ai_addrlen) == 0 && listen(listener, 8) == 0;
  freeaddrinfo(found);
  return ready ? listener : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: tls_pop3_server ADDRESS PORT CERT KEY\n");
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  if (!context || SSL_CTX_use_certificate_chain_file(context, argv[3]) != 1 ||
      SSL_CTX_use_PrivateKey_file(context, argv[4], SSL_FILETYPE_PEM) != 1) {
    std::fprintf(stderr, "tls_pop3_server: cannot load %s and %s\n", argv[3], argv[4]);
    return 1;
  }
  const int listener = Listen(argv[1], argv[2]);
  if (listener < 0) {
    std::perror("tls_pop3_server: listen");
    return 1;
  }
  std::printf("listening\n");
  std::fflush(stdout);
  for (;;) {
    const int client = accept(listener, nullptr, nullptr);
    if (client < 0) continue;
    ReceiveLimit(client, 10000);
    Session(context, client).Run();
    close(client);
  }
}
