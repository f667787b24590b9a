// Exceptions of the support library whose message is their class name.
#pragma once

#include <exception>

// A text that should hold a number or a version does not.
class FormatException : public std::exception {
 public:
  const char* what() const noexcept override { return "FormatException"; }
};

// A locale name or identifier is not known to the system.
class LocaleException : public std::exception {
 public:
  const char* what() const noexcept override { return "LocaleException"; }
};

// libcurl's process-wide initialisation failed.
class LibcurlInitializationException : public std::exception {
 public:
  const char* what() const noexcept override { return "LibcurlInitializationException"; }
};
