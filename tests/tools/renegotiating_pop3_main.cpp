// renegotiating_pop3: a POP3 server over TLS 1.2 that asks every client to
// renegotiate (a HelloRequest) right after its handshake: before the greeting
// with --mode pop3s, and right after STLS with --mode starttls. It answers
// USER, PASS, STAT and QUIT positively and everything else with -ERR, serves
// one connection at a time on ADDRESS until SIGTERM, and prints "ready" once
// it listens. The transcript file gets every command line received, and
// "<renegotiated>" where a renegotiation was completed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

const char kUsage[] =
    "usage: renegotiating_pop3 --mode pop3s|starttls --address ADDRESS --port PORT --cert FILE "
    "--key FILE --transcript FILE [--stat REPLY]\n";

struct Options {
  std::string mode, address, port, cert, key, transcript, stat = "+OK 3 300";
};

// One connection's lines, read through TLS once it is up, else in the clear.
class Connection {
 public:
  explicit Connection(int fd) : m_fd(fd) {}
  ~Connection() {
    if (m_ssl) {
      SSL_shutdown(m_ssl);
      SSL_free(m_ssl);
    }
    close(m_fd);
  }
  bool Secure(SSL_CTX* context) {
    m_ssl = SSL_new(context);
    SSL_set_fd(m_ssl, m_fd);
    if (SSL_accept(m_ssl) != 1) return false;
    // A HelloRequest; the client's new handshake is taken in by later reads.
    return SSL_renegotiate(m_ssl) == 1 && SSL_do_handshake(m_ssl) == 1;
  }
  bool Write(const std::string& line) {
    const std::string bytes = line + "\r\n";
    if (!m_ssl) return send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    return SSL_write(m_ssl, bytes.data(), static_cast<int>(bytes.size())) == int(bytes.size());
  }
  bool ReadLine(std::string& line, std::ofstream& transcript) {
    for (;;) {
      const size_t end = m_buffer.find('\n');
      if (end != std::string::npos) {
        line = m_buffer.substr(0, end);
        m_buffer.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
      }
      char chunk[4096];
      const bool pending = m_ssl && SSL_renegotiate_pending(m_ssl);
      const int count = m_ssl ? SSL_read(m_ssl, chunk, sizeof chunk)
                              : static_cast<int>(recv(m_fd, chunk, sizeof chunk, 0));
      if (pending && !SSL_renegotiate_pending(m_ssl)) transcript << "<renegotiated>" << std::endl;
      if (count <= 0) return false;
      m_buffer.append(chunk, static_cast<size_t>(count));
    }
  }

 private:
  int m_fd;
  SSL* m_ssl = nullptr;
  std::string m_buffer;
};

void Serve(int fd, SSL_CTX* context, const Options& options, std::ofstream& transcript) {
  Connection connection(fd);
  std::string line;
  if (options.mode == "starttls") {
    if (!connection.Write("+OK ready") || !connection.ReadLine(line, transcript)) return;
    transcript << line << std::endl;
    if (line != "STLS") return void(connection.Write("-ERR STLS first"));
    if (!connection.Write("+OK begin TLS") || !connection.Secure(context)) return;
  } else if (!connection.Secure(context) || !connection.Write("+OK ready")) {
    return;
  }
  while (connection.ReadLine(line, transcript)) {
    transcript << line << std::endl;
    const std::string command = line.substr(0, line.find(' '));
    if (command == "QUIT") return void(connection.Write("+OK bye"));
    const std::string reply = command == "USER" || command == "PASS" ? "+OK"
                              : command == "STAT"                    ? options.stat
                                                                     : "-ERR not here";
    if (!connection.Write(reply)) return;
  }
}

int Listen(const Options& options) {
  const bool six = options.address.find(':') != std::string::npos;
  const int fd = socket(six ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_storage address{};
  const auto port = static_cast<uint16_t>(std::stoi(options.port));
  if (six) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(port);
    if (inet_pton(AF_INET6, options.address.c_str(), &in6->sin6_addr) != 1) return -1;
  } else {
    auto* in4 = reinterpret_cast<sockaddr_in*>(&address);
    in4->sin_family = AF_INET;
    in4->sin_port = htons(port);
    if (inet_pton(AF_INET, options.address.c_str(), &in4->sin_addr) != 1) return -1;
  }
  const socklen_t length = six ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 8) != 0)
    return -1;
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i], value = argv[i + 1];
    std::string* field = flag == "--mode"         ? &options.mode
                         : flag == "--address"    ? &options.address
                         : flag == "--port"       ? &options.port
                         : flag == "--cert"       ? &options.cert
                         : flag == "--key"        ? &options.key
                         : flag == "--transcript" ? &options.transcript
                         : flag == "--stat"       ? &options.stat
                                                  : nullptr;
    if (!field) return std::fputs(kUsage, stderr), 2;
    *field = value;
  }
  if ((options.mode != "pop3s" && options.mode != "starttls") || options.address.empty() ||
      options.port.empty() || options.cert.empty() || options.key.empty() ||
      options.transcript.empty())
    return std::fputs(kUsage, stderr), 2;

  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  // Renegotiation exists up to TLS 1.2 only.
  SSL_CTX_set_max_proto_version(context, TLS1_2_VERSION);
  SSL_CTX_clear_options(context, SSL_OP_NO_RENEGOTIATION);
  if (SSL_CTX_use_certificate_chain_file(context, options.cert.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(context, options.key.c_str(), SSL_FILETYPE_PEM) != 1) {
    ERR_print_errors_fp(stderr);
    return 1;
  }
  const int listener = Listen(options);
  if (listener < 0) return std::perror("listen"), 1;
  std::ofstream transcript(options.transcript, std::ios::app);
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    const int fd = accept(listener, nullptr, nullptr);
    if (fd >= 0) Serve(fd, context, options, transcript);
  }
}
