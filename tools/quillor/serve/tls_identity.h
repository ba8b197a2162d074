// The certificate chain and private key the server presents, read from their
// PEM files and read again on a reload. Each TLS handshake takes the pair that
// is current when it starts, so that a reload reaches every new connection and
// leaves the connections already open as they are.
#pragma once

#include <openssl/ssl.h>

#include <memory>
#include <mutex>
#include <string>

namespace quillor::serve {

class TlsIdentity {
 public:
  // Reads both files; a file that cannot be read, or a key that does not belong
  // to the certificate, is a quillor::Failure.
  TlsIdentity(std::string cert_file, std::string key_file);
  ~TlsIdentity();
  TlsIdentity(const TlsIdentity&) = delete;
  TlsIdentity& operator=(const TlsIdentity&) = delete;

  // Reads the files again. On a failure (a quillor::Failure saying why) the pair
  // in use stays.
  void Reload();
  // Makes every handshake on the context present the current pair. The context
  // must not outlive this object.
  void Serve(SSL_CTX* context);

  const std::string& cert_file() const { return cert_file_; }

  struct Pair;

 private:
  std::shared_ptr<const Pair> Current() const;
  static int OnHandshake(SSL* ssl, void* self);

  const std::string cert_file_, key_file_;
  mutable std::mutex mutex_;
  std::shared_ptr<const Pair> current_;
};

}  // namespace quillor::serve
