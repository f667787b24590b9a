#include "Sha256.h"

#include <openssl/evp.h>

void Sha256::Free::operator()(evp_md_ctx_st* context) const { EVP_MD_CTX_free(context); }

Sha256::Sha256() : m_context(EVP_MD_CTX_new()) { Reset(); }

Sha256::~Sha256() = default;

void Sha256::Reset() { m_ok = m_context && EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) == 1; }

void Sha256::Update(const void* data, std::size_t length) {
  if (m_ok && length > 0) m_ok = EVP_DigestUpdate(m_context.get(), data, length) == 1;
}

bool Sha256::Finish(Digest& digest) {
  unsigned int length = 0;
  const bool done = m_ok && EVP_DigestFinal_ex(m_context.get(), digest.data(), &length) == 1 && length == digest.size();
  m_ok = false;
  return done;
}
