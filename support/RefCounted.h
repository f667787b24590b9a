// Intrusive reference counting for the support library's shared records.
// Counts change atomically, so references may be passed between threads;
// the record itself is not locked.
#pragma once

#include <atomic>
#include <cstdint>

#include <boost/intrusive_ptr.hpp>

class RefCounted {
 public:
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;

  std::int32_t UseCount() const { return m_refs.load(std::memory_order_acquire); }

  friend void intrusive_ptr_add_ref(const RefCounted* p) { p->m_refs.fetch_add(1, std::memory_order_relaxed); }
  friend void intrusive_ptr_release(const RefCounted* p) {
    if (p->m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete p;
  }

 protected:
  RefCounted() = default;
  virtual ~RefCounted() = default;

 private:
  mutable std::atomic<std::int32_t> m_refs{0};
};
