// MemoryView, ByteBuffer and the read-only MemoryStream.
#include "ByteBuffer.h"
#include "MemoryStream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

TEST(ByteBuffer, CopiesShareTheBytes) {
  ByteBuffer a(4);
  std::memcpy(a.Data(), "abcd", 4);
  ByteBuffer b = a;
  b.Data()[0] = 'X';
  EXPECT_EQ('X', a.Data()[0]);
  EXPECT_EQ(a.Data(), b.Data());
  EXPECT_EQ(4, b.Length());
}

TEST(ByteBuffer, FromViewCopiesTheBytes) {
  const char text[] = "hello";
  ByteBuffer copy{MemoryView(text, 5)};
  ASSERT_EQ(5, copy.Length());
  EXPECT_NE(reinterpret_cast<const std::uint8_t*>(text), copy.Data());
  EXPECT_EQ(0, std::memcmp(text, copy.Data(), 5));
  EXPECT_TRUE(ByteBuffer(0).IsEmpty());
  EXPECT_THROW(ByteBuffer(-1), std::length_error);
}

TEST(ByteBuffer, CopyInChecksBounds) {
  ByteBuffer buffer(6);
  std::memset(buffer.Data(), '.', 6);
  buffer.CopyIn(2, MemoryView("xy", 2));
  EXPECT_EQ(0, std::memcmp("..xy..", buffer.Data(), 6));
  buffer.CopyIn(4, MemoryView("zz", 2));
  EXPECT_EQ(0, std::memcmp("..xyzz", buffer.Data(), 6));
  EXPECT_THROW(buffer.CopyIn(5, MemoryView("zz", 2)), std::out_of_range);
  EXPECT_THROW(buffer.CopyIn(-1, MemoryView("z", 1)), std::out_of_range);
  EXPECT_THROW(buffer.CopyIn(7, MemoryView()), std::out_of_range);
}

TEST(MemoryView, SubViewsAndBuffers) {
  ByteBuffer buffer{MemoryView("abcdef", 6)};
  MemoryView whole(buffer);
  EXPECT_EQ(buffer.Data(), whole.Data());
  EXPECT_EQ(6, whole.Length());
  MemoryView tail = whole.SubView(4);
  EXPECT_EQ(2, tail.Length());
  EXPECT_EQ('e', tail.Chars()[0]);
  EXPECT_EQ(0, whole.SubView(6).Length());
  EXPECT_THROW(whole.SubView(7), std::out_of_range);
  EXPECT_THROW(MemoryView(nullptr, 3), std::invalid_argument);
}

namespace {

struct StreamRelease {
  void operator()(IStream* s) const { s->Release(); }
};
using StreamPtr = std::unique_ptr<IStream, StreamRelease>;

}  // namespace

TEST(MemoryStream, ReadsSeeksAndStats) {
  const char data[] = "0123456789";
  StreamPtr stream(MemoryStream::Create(data, 10));
  ASSERT_TRUE(stream);

  char buf[8] = {};
  ULONG read = 99;
  EXPECT_EQ(S_OK, stream->Read(buf, 4, &read));
  EXPECT_EQ(4u, read);
  EXPECT_EQ(0, std::memcmp(buf, "0123", 4));
  EXPECT_EQ(S_OK, stream->Read(buf, 8, &read));
  EXPECT_EQ(6u, read);
  read = 77;
  EXPECT_EQ(S_FALSE, stream->Read(buf, 8, &read));
  EXPECT_EQ(77u, read) << "the count is left alone when nothing is left";

  struct SeekCase {
    LONG move;
    DWORD origin;
    HRESULT hr;
    ULONGLONG pos;
  };
  const SeekCase cases[] = {
      {3, STREAM_SEEK_SET, S_OK, 3},
      {2, STREAM_SEEK_CUR, S_OK, 5},
      {-1, STREAM_SEEK_END, S_OK, 9},
      {5, STREAM_SEEK_END, S_OK, 15},  // past the end is allowed
      {-20, STREAM_SEEK_CUR, STG_E_INVALIDFUNCTION, 15},
      {0, 7, STG_E_INVALIDFUNCTION, 15},
  };
  for (const SeekCase& c : cases) {
    LARGE_INTEGER move;
    move.QuadPart = c.move;
    ULARGE_INTEGER pos;
    pos.QuadPart = 0xDEAD;
    HRESULT hr = stream->Seek(move, c.origin, &pos);
    EXPECT_EQ(c.hr, hr) << "move " << c.move << " origin " << c.origin << " hr 0x" << std::hex << hr;
    if (hr == S_OK) {
      EXPECT_EQ(c.pos, pos.QuadPart);
    }
  }
  EXPECT_EQ(S_FALSE, stream->Read(buf, 1, &read)) << "reads past the end find nothing";

  STATSTG stat;
  EXPECT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
  EXPECT_EQ(static_cast<DWORD>(STGTY_STREAM), stat.type);
  EXPECT_EQ(10u, stat.cbSize.QuadPart);
  EXPECT_EQ(STG_E_INVALIDPOINTER, stream->Stat(nullptr, 0));

  ULONG written = 0;
  EXPECT_EQ(S_OK, stream->Write("zz", 2, &written));
  ULARGE_INTEGER size{};
  EXPECT_EQ(E_NOTIMPL, stream->SetSize(size));
  IStream* clone = nullptr;
  EXPECT_EQ(E_NOTIMPL, stream->Clone(&clone));
  EXPECT_EQ(E_NOTIMPL, stream->Commit(0));
}

TEST(MemoryStream, AnswersItsInterfacesOnly) {
  StreamPtr stream(MemoryStream::Create("x", 1));
  ASSERT_TRUE(stream);
  for (const IID* iid : {&IID_IUnknown, &IID_IStream, &IID_ISequentialStream}) {
    void* p = nullptr;
    EXPECT_EQ(S_OK, stream->QueryInterface(*iid, &p));
    ASSERT_NE(nullptr, p);
    static_cast<IUnknown*>(p)->Release();
  }
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, stream->QueryInterface(IID_IStorage, &p));
  EXPECT_EQ(nullptr, p);
  EXPECT_EQ(2u, stream->AddRef());
  EXPECT_EQ(1u, stream->Release());
}
