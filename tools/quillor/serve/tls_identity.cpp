#include "tools/quillor/serve/tls_identity.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "tools/quillor/tool_failure.h"

namespace quillor::serve {

namespace {

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioFree>;

ToolFailure CannotUse(const std::string& what, const std::string& file) {
  // The library's own reason names what was wrong with the file.
  const unsigned long error = ERR_get_error();
  ERR_clear_error();
  char reason[256] = "no PEM data";
  if (error != 0) ERR_error_string_n(error, reason, sizeof reason);
  return ToolFailure(ToolFailure::kFail, "cannot use the " + what + " " + file + ": " + reason);
}

Bio OpenFile(const std::string& what, const std::string& file) {
  Bio bio(BIO_new_file(file.c_str(), "r"));
  if (!bio) throw CannotUse(what, file);
  return bio;
}

}  // namespace

struct TlsIdentity::Pair {
  X509* cert = nullptr;
  STACK_OF(X509) * chain = nullptr;  // the certificates after the first
  EVP_PKEY* key = nullptr;
  ~Pair() {
    X509_free(cert);
    sk_X509_pop_free(chain, X509_free);
    EVP_PKEY_free(key);
  }
};

namespace {

std::shared_ptr<const TlsIdentity::Pair> ReadPair(const std::string& cert_file,
                                                  const std::string& key_file) {
  auto pair = std::make_shared<TlsIdentity::Pair>();
  ERR_clear_error();
  {
    Bio bio = OpenFile("certificate", cert_file);
    pair->cert = PEM_read_bio_X509_AUX(bio.get(), nullptr, nullptr, nullptr);
    if (!pair->cert) throw CannotUse("certificate", cert_file);
    pair->chain = sk_X509_new_null();
    while (X509* next = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
      sk_X509_push(pair->chain, next);
    }
    ERR_clear_error();  // the end of the file
  }
  {
    Bio bio = OpenFile("key", key_file);
    pair->key = PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr);
    if (!pair->key) throw CannotUse("key", key_file);
  }
  if (X509_check_private_key(pair->cert, pair->key) != 1) {
    ERR_clear_error();
    throw ToolFailure(ToolFailure::kFail,
                      "cannot use the certificate " + cert_file + " with the key " + key_file);
  }
  return pair;
}

}  // namespace

TlsIdentity::TlsIdentity(std::string cert_file, std::string key_file)
    : cert_file_(std::move(cert_file)),
      key_file_(std::move(key_file)),
      current_(ReadPair(cert_file_, key_file_)) {}

TlsIdentity::~TlsIdentity() = default;

void TlsIdentity::Reload() {
  std::shared_ptr<const Pair> fresh = ReadPair(cert_file_, key_file_);
  std::lock_guard lock(mutex_);
  current_.swap(fresh);
  // A connection that took the old pair holds references of its own
  // (SSL_use_cert_and_key counts them): the old pair ends with the last of them.
}

std::shared_ptr<const TlsIdentity::Pair> TlsIdentity::Current() const {
  std::lock_guard lock(mutex_);
  return current_;
}

void TlsIdentity::Serve(SSL_CTX* context) {
  const std::shared_ptr<const Pair> pair = Current();
  // The context holds the first pair too, so that it is whole on its own; the
  // handshake's callback puts the current one in its place.
  if (SSL_CTX_use_cert_and_key(context, pair->cert, pair->key, pair->chain, 1) != 1) {
    throw CannotUse("certificate", cert_file_);
  }
  SSL_CTX_set_cert_cb(context, &TlsIdentity::OnHandshake, this);
}

int TlsIdentity::OnHandshake(SSL* ssl, void* self) {
  const std::shared_ptr<const Pair> pair = static_cast<TlsIdentity*>(self)->Current();
  return SSL_use_cert_and_key(ssl, pair->cert, pair->key, pair->chain, 1) == 1 ? 1 : 0;
}

}  // namespace quillor::serve
