// SHA-256 over the statically linked libcrypto (the one libcurl's TLS already brings).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

struct evp_md_ctx_st;

class Sha256 {
 public:
  using Digest = std::array<std::uint8_t, 32>;

  // Starts a hash; a start that failed leaves it failed (Ok() false), never throws.
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // False once any step has failed: the hash then stands for nothing.
  bool Ok() const { return m_ok; }
  // Starts again over no bytes.
  void Reset();
  void Update(const void* data, std::size_t length);
  // The digest of everything given since the start; the hash is then ended (Reset starts it
  // again). False when a step failed.
  bool Finish(Digest& digest);

 private:
  struct Free {
    void operator()(evp_md_ctx_st* context) const;
  };
  std::unique_ptr<evp_md_ctx_st, Free> m_context;
  bool m_ok = false;
};
