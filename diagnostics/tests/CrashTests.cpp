// The filter chain end to end: the crash test program fails in fresh processes, and each run
// must leave exactly one text report and one minidump in the reader's folder of the
// application data (which the tests create, since the reader never does), end with exit code
// -1 and never call the filter that was installed before the chain.
#include <gtest/gtest.h>

#include <UniqueHandle.h>
#include <windows.h>
#include <dbghelp.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ExceptionReport.h"
#include "ReaderTestSupport.h"
#include "Settings.h"

using reader_test::Hex;
using reader_test::Narrow;

namespace {

// A crash takes seconds on Windows (the processor speed is measured) and up to a minute or two
// under Wine, whose minidump writer spends most of it on the loaded modules and, for a full
// dump, on hundreds of megabytes of memory.
const DWORD kCrashTimeoutMs = 240000;
const DWORD kCrashExit = 0xFFFFFFFF;

#if defined(_WIN64)
const char* const kRegisters[] = {"RAX:", "RBX:", "RCX:", "RDX:", "RSI:", "RDI:", "CS:RIP:", "SS:RSP:"};
const size_t kAddressDigits = 16;
#else
const char* const kRegisters[] = {"EAX:", "EBX:", "ECX:", "EDX:", "ESI:", "EDI:", "CS:EIP:", "SS:ESP:"};
const size_t kAddressDigits = 8;
#endif

std::wstring ReportFolder() {
  wchar_t appData[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData))) return L"";
  return std::wstring(appData) + L"\\Orvel Murmelin";
}

std::set<std::wstring> FilesIn(const std::wstring& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found = {};
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.insert(found.cFileName);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return names;
}

std::string ReadWhole(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

struct ChildRun {
  bool ended = false;
  DWORD exitCode = 0;
  std::set<DWORD> threadsBefore, threadsAfter;
  DWORD faultingThread = 0;         // the first one named
  std::set<DWORD> faultingThreads;  // all named: two fault together in one case
  // The faulting thread ended with this code while the process went on (0: it did not).
  DWORD threadEndedAlone = 0;
  // The faulting call: the start of the function that makes it and the address that call
  // returns to (0: not said; a runaway recursion has no one faulting call).
  uintptr_t insideFrom = 0, insideTo = 0;
  // The thread parked in a known function: its id, the function's start and the address its
  // parking call returns to.
  DWORD parkedThread = 0;
  uintptr_t parkedFrom = 0, parkedTo = 0;
};

std::set<DWORD> Numbers(const std::string& line) {
  std::set<DWORD> numbers;
  for (const std::string& word : Split(line, ' ')) {
    if (!word.empty() && isdigit(static_cast<unsigned char>(word[0])))
      numbers.insert(strtoul(word.c_str(), nullptr, 10));
  }
  return numbers;
}

std::wstring ChildProgram() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  return path.substr(0, path.rfind(L'\\') + 1) + L"diagnostics_crash_child.exe";
}

// Runs the crash test program in a fresh process. Its output comes through a pipe, read up to
// the line that names the faulting thread; then the process and that thread are watched.
ChildRun RunChild(const char* mode) {
  ChildRun run;
  win::UniqueKernelHandle readEnd, writeEnd;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) {
    ADD_FAILURE() << "CreatePipe failed, error " << GetLastError();
    return run;
  }
  SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = writeEnd.get();
  PROCESS_INFORMATION started = {};
  std::wstring commandLine = L"\"" + ChildProgram() + L"\" " + std::wstring(mode, mode + strlen(mode));
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
    ADD_FAILURE() << "CreateProcessW failed, error " << GetLastError();
    return run;
  }
  win::UniqueKernelHandle process(started.hProcess), mainThread(started.hThread);
  writeEnd.reset();  // the pipe then ends when the child is gone

  std::string output;
  char buffer[256];
  DWORD got = 0;
  while (output.find("faulting ") == std::string::npos || output.back() != '\n') {
    if (!ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) || got == 0) break;
    output.append(buffer, got);
  }
  for (const std::string& line : Split(output, '\n')) {
    if (StartsWith(line, "before")) run.threadsBefore = Numbers(line.substr(6));
    if (StartsWith(line, "after")) run.threadsAfter = Numbers(line.substr(5));
    if (StartsWith(line, "faulting ")) {
      run.faultingThread = strtoul(line.c_str() + 9, nullptr, 10);
      run.faultingThreads = Numbers(line.substr(9));
    }
    if (StartsWith(line, "parked ")) {
      char* end = nullptr;
      run.parkedThread = strtoul(line.c_str() + 7, &end, 10);
      run.parkedFrom = static_cast<uintptr_t>(strtoull(end, &end, 16));
      run.parkedTo = static_cast<uintptr_t>(strtoull(end, nullptr, 16));
    }
  }

  win::UniqueKernelHandle faulting(
      run.faultingThread ? OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, run.faultingThread)
                         : nullptr);
  const HANDLE watched[] = {process.get(), faulting.get()};
  const DWORD first = WaitForMultipleObjects(faulting.get() ? 2 : 1, watched, FALSE, kCrashTimeoutMs);
  if (first == WAIT_OBJECT_0 + 1) {
    // The chain ends the process with exit code -1, and every thread with it.
    DWORD code = 0;
    GetExitCodeThread(faulting.get(), &code);
    if (code != kCrashExit) run.threadEndedAlone = code;
  }
  run.ended = !run.threadEndedAlone && WaitForSingleObject(process.get(), kCrashTimeoutMs) == WAIT_OBJECT_0;
  if (!run.ended) {
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), kCrashTimeoutMs);
  }
  GetExitCodeProcess(process.get(), &run.exitCode);
  // The rest of the output: the child is gone, so the pipe ends.
  while (ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got != 0) output.append(buffer, got);
  for (const std::string& line : Split(output, '\n')) {
    if (StartsWith(line, "inside ") && run.insideTo == 0) {
      char* end = nullptr;
      run.insideFrom = static_cast<uintptr_t>(strtoull(line.c_str() + 7, &end, 16));
      run.insideTo = static_cast<uintptr_t>(strtoull(end, nullptr, 16));
    }
  }
  return run;
}

bool IsWine64() {
  return sizeof(void*) == 8 && GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The report, read back into its parts.
struct Report {
  std::vector<std::string> systemLines;     // up to the exception part
  std::vector<std::string> exceptionLines;  // its first three lines
  std::vector<std::string> registerLines;
  std::vector<std::string> faultStack;                // frame lines of the faulting thread
  std::map<DWORD, std::vector<std::string>> threads;  // thread list: id -> frame lines
  bool complete = false;                              // everything up to the closing blank line
  std::string problem;
};

bool ReadCallStack(const std::vector<std::string>& lines, size_t& i, std::vector<std::string>& frames) {
  if (i + 1 >= lines.size() || lines[i] != "Call stack:" || lines[i + 1] != "Address\tFrame") return false;
  for (i += 2; i < lines.size() && !lines[i].empty(); ++i) frames.push_back(lines[i]);
  return i < lines.size();
}

Report ParseReport(const std::string& content) {
  Report report;
  // Each line ends in CR LF (the system part through the text-mode stream); the register
  // heading is preceded by a bare line feed.
  std::vector<std::string> lines;
  for (std::string line : Split(content, '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  size_t i = 0;
  for (; i < lines.size() && !StartsWith(lines[i], "Unhandled exception: "); ++i)
    report.systemLines.push_back(lines[i]);
  for (int n = 0; n < 3 && i < lines.size(); ++n) report.exceptionLines.push_back(lines[i++]);
  if (i + 1 >= lines.size() || !lines[i].empty() || lines[i + 1] != "Registers:") {
    report.problem = "no register heading after the fault address";
    return report;
  }
  for (i += 2; i < lines.size() && lines[i] != "Call stack:"; ++i) report.registerLines.push_back(lines[i]);
  if (!ReadCallStack(lines, i, report.faultStack)) {
    report.problem = "no call stack of the faulting thread";
    return report;
  }
  ++i;  // the blank line after it
  if (i >= lines.size() || lines[i] != "Thread list:") {
    report.problem = "no thread list";
    return report;
  }
  for (++i; i < lines.size() && StartsWith(lines[i], "Process 0x");) {
    const DWORD thread = strtoul(lines[i].substr(lines[i].find("thread 0x") + 9).c_str(), nullptr, 16);
    std::vector<std::string> frames;
    ++i;
    if (i < lines.size() && lines[i] == "Call stack:" && !ReadCallStack(lines, i, frames)) break;
    report.threads[thread] = frames;
    ++i;  // the blank line after the thread
  }
  // The exception section ends with one more blank line; the split leaves nothing after it.
  report.complete = i + 1 == lines.size() && lines[i].empty();
  if (!report.complete) report.problem = "unexpected text at line " + std::to_string(i + 1);
  return report;
}

// The dump's header flags (its type) and exception stream.
struct Dump {
  bool valid = false;
  ULONG64 flags = 0;
  bool hasException = false;
  DWORD threadId = 0;
  DWORD code = 0;
};

Dump ParseDump(const std::string& bytes) {
  Dump dump;
  if (bytes.size() < sizeof(MINIDUMP_HEADER)) return dump;
  MINIDUMP_HEADER header;
  memcpy(&header, bytes.data(), sizeof header);
  dump.valid = header.Signature == 0x504D444Du;  // "MDMP"
  dump.flags = header.Flags;
  for (ULONG32 s = 0; s < header.NumberOfStreams; ++s) {
    MINIDUMP_DIRECTORY entry;
    const size_t at = header.StreamDirectoryRva + s * sizeof entry;
    if (at + sizeof entry > bytes.size()) break;
    memcpy(&entry, bytes.data() + at, sizeof entry);
    if (entry.StreamType != ExceptionStream || entry.Location.Rva + sizeof(MINIDUMP_EXCEPTION_STREAM) > bytes.size())
      continue;
    MINIDUMP_EXCEPTION_STREAM exception;
    memcpy(&exception, bytes.data() + entry.Location.Rva, sizeof exception);
    dump.hasException = true;
    dump.threadId = exception.ThreadId;
    dump.code = exception.ExceptionRecord.ExceptionCode;
  }
  return dump;
}

// Creates the report folder for the test, removes what the test left in it.
class CrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = ReportFolder();
    ASSERT_FALSE(m_folder.empty());
    m_created = CreateDirectoryW(m_folder.c_str(), nullptr) != FALSE;
    m_before = FilesIn(m_folder);
  }
  void TearDown() override {
    for (const std::wstring& name : NewFiles()) DeleteFileW((m_folder + L"\\" + name).c_str());
    if (m_created) RemoveDirectoryW(m_folder.c_str());
  }
  std::vector<std::wstring> NewFiles() const {
    std::vector<std::wstring> added;
    for (const std::wstring& name : FilesIn(m_folder)) {
      if (!m_before.count(name)) added.push_back(name);
    }
    return added;
  }

  std::wstring m_folder;
  bool m_created = false;
  std::set<std::wstring> m_before;
};

enum class DumpMode { Absent, WrongType, Two };

struct CrashCase {
  const char* mode;
  DumpMode dumpMode;
  DWORD code;
  const char* codeLine;
  std::function<void(const Report&, const ChildRun&)> check;
};

std::string ChildName() { return "diagnostics_crash_child.exe"; }

// Set by the test runner when this 32-bit program runs under an i386 user-mode emulator: the
// crash program then raises its access violations in software (see CrashChild.cpp).
bool FaultsRaisedInSoftware() { return GetEnvironmentVariableW(L"ORV_IA32_EMULATED", nullptr, 0) != 0; }

uintptr_t AddressAt(const std::string& text) { return static_cast<uintptr_t>(strtoull(text.c_str(), nullptr, 16)); }

// True when one of the frame lines lies after `from` and at most at `to` (a frame of a caller is
// the return address of its call); else says which frames there were.
::testing::AssertionResult FrameBetween(const std::vector<std::string>& frames, uintptr_t from, uintptr_t to) {
  std::ostringstream written;
  written << "no frame between " << std::hex << from << " and " << to << ":\n";
  for (const std::string& frame : frames) {
    const uintptr_t pc = AddressAt(frame);
    if (pc > from && pc <= to) return ::testing::AssertionSuccess();
    written << frame << "\n";
  }
  return ::testing::AssertionFailure() << written.str();
}

// The faulting thread's call stack is walked from the fault: its first frame is the fault
// address, and the walk gets out of the faulting callee into the function that made the faulting
// call (the processor's fault and one raised in software alike).
void WalkedFromTheFault(const Report& report, const ChildRun& run) {
  // "Fault address:  <address> <section>:<offset> <module>"
  const std::vector<std::string> words = Split(report.exceptionLines[2], ' ');
  ASSERT_GE(words.size(), 5u) << report.exceptionLines[2];
  ASSERT_FALSE(report.faultStack.empty());
  const std::string& first = report.faultStack.front();
  EXPECT_EQ(first.substr(0, first.find('\t')), words[3]) << "the faulting stack does not start at the fault address:\n"
                                                         << first << "\n"
                                                         << report.exceptionLines[2];
  if (run.insideTo == 0) return;
  EXPECT_TRUE(FrameBetween(report.faultStack, run.insideFrom, run.insideTo))
      << "the function that made the faulting call";
}

void FaultIsInTheProgram(const Report& report, const ChildRun& run) {
  ASSERT_NE(run.insideTo, 0u) << "the crash program did not say where its faulting call lies";
  WalkedFromTheFault(report, run);
  ASSERT_FALSE(report.faultStack.empty());
  if (FaultsRaisedInSoftware()) {
    // The fault lies in the system's raise routine; the walk goes on into the program.
    EXPECT_TRUE(std::any_of(report.faultStack.begin(), report.faultStack.end(), [](const std::string& frame) {
      return EndsWith(frame, ChildName());
    })) << report.faultStack.front();
    return;
  }
  // "Fault address:  <address> 01:<offset> <program path>": the code section of the program.
  const std::vector<std::string> words = Split(report.exceptionLines[2], ' ');
  EXPECT_TRUE(StartsWith(words[4], "01:")) << report.exceptionLines[2];
  EXPECT_TRUE(EndsWith(report.exceptionLines[2], ChildName())) << report.exceptionLines[2];
  EXPECT_TRUE(EndsWith(report.faultStack.front(), ChildName())) << report.faultStack.front();
}

const CrashCase kCrashes[] = {
    {"access", DumpMode::Absent, 0xC0000005, "Exception code: C0000005 ACCESS_VIOLATION", FaultIsInTheProgram},
    {"thread", DumpMode::WrongType, 0xC0000005, "Exception code: C0000005 ACCESS_VIOLATION", FaultIsInTheProgram},
    // Two threads fault at once: the second waits for the first one's report and dump, and
    // the run leaves exactly one of each, of whichever fault came first.
    {"together", DumpMode::Absent, 0xC0000005, "Exception code: C0000005 ACCESS_VIOLATION", FaultIsInTheProgram},
    {"overflow", DumpMode::Absent, 0xC00000FD, "Exception code: C00000FD STACK_OVERFLOW",
     [](const Report& report, const ChildRun& run) {
       // The walk from the overflowing frame is bounded; how far it gets depends on the unwind
       // data of the frame that touched the guard page (a stack probe has none).
       EXPECT_GE(report.faultStack.size(), 1u);
       EXPECT_LE(report.faultStack.size(), static_cast<size_t>(kMaxStackFrames));
       WalkedFromTheFault(report, run);
     }},
    {"nullcall", DumpMode::Two, 0xC0000005, "Exception code: C0000005 ACCESS_VIOLATION",
     [](const Report& report, const ChildRun& run) {
       ASSERT_NE(run.insideTo, 0u) << "the crash program did not say where its faulting call lies";
       if (!FaultsRaisedInSoftware()) {
         // Address 0 lies in no module: section 00, offset 0 and no name, and the report goes on.
         const std::string zero(kAddressDigits, '0');
         EXPECT_EQ(report.exceptionLines[2], "Fault address:  " + zero + " 00:" + zero + " ");
       }
       // The walk starts with a frame at 0 and goes on to the caller of the function that made the
       // null call (see CrashChild.cpp); 64-bit Wine's walker gives no frame at all from address 0.
       if (report.faultStack.empty() && IsWine64()) {
         std::printf("note: 64-bit Wine walks no frame from address 0: the faulting stack is empty\n");
         return;
       }
       WalkedFromTheFault(report, run);
     }},
};

class CrashRun : public CrashTest, public ::testing::WithParamInterface<CrashCase> {};

TEST_P(CrashRun, LeavesOneReportAndOneDump) {
  const CrashCase& c = GetParam();
  if (FaultsRaisedInSoftware() && c.code == EXCEPTION_ACCESS_VIOLATION) {
    std::printf(
        "note: under an i386 emulator processor faults reach Wine as C000001D; the access violation is\n"
        "      raised in software at the fault's place: the report's faulting stack must start at its\n"
        "      address, in the system's raise routine, and reach the function that made the faulting call\n");
  }
  SCOPED_TRACE(std::string(c.mode) + ", mdmp_mode " +
               (c.dumpMode == DumpMode::Absent      ? "absent"
                : c.dumpMode == DumpMode::WrongType ? "REG_SZ"
                                                    : "2"));
  reader_test::ScopedRegValue mdmpMode(reader_settings::kAppKey, L"mdmp_mode");
  ASSERT_TRUE(mdmpMode.ok());
  ASSERT_TRUE(c.dumpMode == DumpMode::Absent      ? mdmpMode.Remove()
              : c.dumpMode == DumpMode::WrongType ? mdmpMode.SetString(L"2")
                                                  : mdmpMode.SetDword(2));

  const ChildRun run = RunChild(c.mode);
  if (run.threadEndedAlone && IsWine64()) {
    GTEST_SKIP() << "64-bit Wine ended the faulting thread with code " << run.threadEndedAlone
                 << " without raising the exception: too little stack was left below the faulting frame";
  }
  EXPECT_EQ(run.threadEndedAlone, 0u) << "the faulting thread ended on its own";
  ASSERT_TRUE(run.ended) << "the crash did not end the process within " << kCrashTimeoutMs << " ms";
  EXPECT_EQ(run.exitCode, kCrashExit) << Hex(run.exitCode) << " (0x7e57: the foreign filter was called)";
  ASSERT_NE(run.faultingThread, 0u);

  std::vector<std::wstring> reports, dumps;
  for (const std::wstring& name : NewFiles()) (EndsWith(Narrow(name), ".rpt") ? reports : dumps).push_back(name);
  ASSERT_EQ(reports.size(), 1u);
  ASSERT_EQ(dumps.size(), 1u) << Narrow(dumps.empty() ? L"" : dumps[0]);
  const std::string reportName = Narrow(reports[0]);
  EXPECT_GE(reportName.size(), 14u) << reportName;
  EXPECT_TRUE(std::all_of(reportName.begin(), reportName.end() - 4, [](char ch) {
    return isdigit(static_cast<unsigned char>(ch));
  })) << reportName;
  const std::string dumpName = Narrow(dumps[0]);
  ASSERT_EQ(dumpName.size(), 21u) << dumpName;
  EXPECT_TRUE(StartsWith(dumpName, "state_") && EndsWith(dumpName, ".mdmp")) << dumpName;
  const std::string stamp = dumpName.substr(6, 10);
  EXPECT_TRUE(isdigit(static_cast<unsigned char>(stamp.back())) &&
              stamp.find_first_not_of(" 0123456789") == std::string::npos)
      << dumpName;

  const std::string text = ReadWhole(m_folder + L"\\" + reports[0]);
  const Report report = ParseReport(text);
  EXPECT_TRUE(report.complete) << report.problem << "\n" << text;
  ASSERT_GE(report.systemLines.size(), 6u) << text;
  EXPECT_EQ(report.systemLines[0], "VERSION:1.0.13 Orvel Murmelin");
  const char* const systemStarts[] = {
      "VERSION:", "VER: date=*", "CPU num:", "OS Number: PlatformId=", "IE version: ", "MEM total:"};
  for (size_t i = 0; i < 6; ++i)
    EXPECT_TRUE(StartsWith(report.systemLines[i], systemStarts[i])) << report.systemLines[i];
  for (size_t i = 6; i < report.systemLines.size(); ++i)
    EXPECT_TRUE(StartsWith(report.systemLines[i], "Name:")) << report.systemLines[i];
  EXPECT_NE(text.find("\r\n\nRegisters:\r\n"), std::string::npos);
  ASSERT_EQ(report.exceptionLines.size(), 3u);
  EXPECT_TRUE(StartsWith(report.exceptionLines[0], "Unhandled exception: "));
  EXPECT_EQ(report.exceptionLines[1], c.codeLine);
  EXPECT_TRUE(StartsWith(report.exceptionLines[2], "Fault address:  ")) << report.exceptionLines[2];
  ASSERT_EQ(report.registerLines.size(), 10u);
  for (size_t i = 0; i < 8; ++i)
    EXPECT_TRUE(StartsWith(report.registerLines[i], kRegisters[i])) << report.registerLines[i];
  EXPECT_TRUE(StartsWith(report.registerLines[8], "DS:"));
  EXPECT_TRUE(StartsWith(report.registerLines[9], "Flags:"));

  // The thread list holds the faulting thread but not the one that wrote the report.
  std::vector<DWORD> started;
  std::set_difference(run.threadsAfter.begin(), run.threadsAfter.end(), run.threadsBefore.begin(),
                      run.threadsBefore.end(), std::back_inserter(started));
  ASSERT_EQ(started.size(), 1u) << "installing the chain starts one thread";
  EXPECT_EQ(report.threads.count(started[0]), 0u) << "the reporting thread is listed";
  for (const DWORD faulting : run.faultingThreads) {
    EXPECT_EQ(report.threads.count(faulting), 1u) << "the faulting thread " << faulting << " is not listed";
    if (report.threads.count(faulting)) {
      EXPECT_GE(report.threads.at(faulting).size(), 1u)
          << "the faulting thread " << faulting << " is listed without a frame";
    }
  }
  // Each listed thread is walked from its own registers: the parked one is found in its wait.
  EXPECT_NE(run.parkedThread, 0u) << "the crash program did not park a thread";
  EXPECT_EQ(report.threads.count(run.parkedThread), 1u) << "the parked thread " << run.parkedThread << " is not listed";
  if (report.threads.count(run.parkedThread)) {
    EXPECT_TRUE(FrameBetween(report.threads.at(run.parkedThread), run.parkedFrom, run.parkedTo))
        << "the parked thread " << run.parkedThread << " is not walked in the function that parked it";
  }
  if (c.check) c.check(report, run);

  const Dump dump = ParseDump(ReadWhole(m_folder + L"\\" + dumps[0]));
  EXPECT_TRUE(dump.valid);
  EXPECT_EQ(dump.flags, c.dumpMode == DumpMode::Two ? 2u : 0u) << "the dump type";
  EXPECT_TRUE(dump.hasException);
  EXPECT_EQ(dump.code, c.code) << Hex(dump.code);
  EXPECT_EQ(run.faultingThreads.count(dump.threadId), 1u)
      << "the dump names thread " << dump.threadId << ", not a faulting one";
}

INSTANTIATE_TEST_SUITE_P(Crashes, CrashRun, ::testing::ValuesIn(kCrashes),
                         [](const ::testing::TestParamInfo<CrashCase>& info) { return std::string(info.param.mode); });

TEST_F(CrashTest, WithoutTheReportFolderNothingIsWritten) {
  // A folder that was there before the test is set aside for the run and put back.
  const std::wstring aside = m_folder + L".aside";
  if (m_created) {
    ASSERT_TRUE(RemoveDirectoryW(m_folder.c_str())) << "error " << GetLastError();
    m_created = false;
  } else {
    ASSERT_TRUE(MoveFileW(m_folder.c_str(), aside.c_str())) << "error " << GetLastError();
  }
  const ChildRun run = RunChild("access");
  const bool created = GetFileAttributesW(m_folder.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (GetFileAttributesW(aside.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (created) reader_test::DeleteTree(m_folder);
    MoveFileW(aside.c_str(), m_folder.c_str());
  }
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, kCrashExit) << Hex(run.exitCode);
  EXPECT_FALSE(created) << "the report folder was created";
}

}  // namespace
