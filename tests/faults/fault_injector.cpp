// A preloaded library that makes file operations fail on demand, for the tests that show the
// waypoint store never loses or misreads a file when the system fails under it.
//
// Loaded with LD_PRELOAD, it stands in front of the C library's read, write, fsync and rename and
// passes every call on (tests/support/preloaded_functions.h). A test arms a failure by the
// operation and the file's name: reads or writes of that file pass a given number of bytes and then
// fail, as a disk error or a full disk part way through; fsync or rename calls fail after a given
// number of calls. Every fsync and rename is logged by name, so a test can check their order. The
// program under test finds the control functions with dlsym; their absence tells it the injector is
// not loaded.
#include <errno.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/preloaded_functions.h"

namespace {

using ReadFn = ssize_t (*)(int, void*, size_t);
using WriteFn = ssize_t (*)(int, const void*, size_t);
using FsyncFn = int (*)(int);
using RenameFn = int (*)(const char*, const char*);

ReadFn real_read = nullptr;
WriteFn real_write = nullptr;
FsyncFn real_fsync = nullptr;
RenameFn real_rename = nullptr;

__attribute__((constructor)) void resolve_real_functions() {
  find_real_function(real_read, "read");
  find_real_function(real_write, "write");
  find_real_function(real_fsync, "fsync");
  find_real_function(real_rename, "rename");
}

enum Operation { OP_READ, OP_WRITE, OP_FSYNC, OP_RENAME, OP_NONE };

struct Rule {
  Operation operation = OP_NONE;
  char name[256] = {};
  long allowed = 0;  // bytes (read, write) or calls (fsync, rename) still let through
  int error = 0;
};

constexpr int MAX_RULES = 4;
Rule rules[MAX_RULES];
long failures = 0;
char log_text[16384] = {};

Operation operation_named(const char* name) {
  if (strcmp(name, "read") == 0) return OP_READ;
  if (strcmp(name, "write") == 0) return OP_WRITE;
  if (strcmp(name, "fsync") == 0) return OP_FSYNC;
  if (strcmp(name, "rename") == 0) return OP_RENAME;
  return OP_NONE;
}

// The base name of the file behind a descriptor; "." for a folder.
void name_of(int fd, char* name, size_t size) {
  name[0] = '\0';
  struct stat status {};
  if (fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
    snprintf(name, size, ".");
    return;
  }
  char link[64], target[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t length = readlink(link, target, sizeof target - 1);
  if (length <= 0) return;
  target[length] = '\0';
  const char* slash = strrchr(target, '/');
  // A base name longer than the caller's buffer is cut, as a log line needs no more.
  const char* base = slash != nullptr ? slash + 1 : target;
  const size_t kept = std::min(strlen(base), size - 1);
  memcpy(name, base, kept);
  name[kept] = '\0';
}

const char* base_name(const char* path) {
  const char* slash = strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

// A rule's name matches the file's name exactly, or, ending with '*', every name starting with
// what comes before it (the store's temporaries carry their writer's process id and a number).
bool matches(const Rule& rule, const char* name) {
  const size_t length = strlen(rule.name);
  if (length > 0 && rule.name[length - 1] == '*') return strncmp(rule.name, name, length - 1) == 0;
  return strcmp(rule.name, name) == 0;
}

Rule* rule_for(Operation operation, const char* name) {
  for (Rule& rule : rules) {
    if (rule.operation == operation && matches(rule, name)) return &rule;
  }
  return nullptr;
}

bool any_rule() {
  for (const Rule& rule : rules) {
    if (rule.operation != OP_NONE) return true;
  }
  return false;
}

void append_log(const char* line) {
  const size_t used = strlen(log_text);
  snprintf(log_text + used, sizeof log_text - used, "%s\n", line);
}

// Makes the call fail with the rule's error.
long fail(const Rule& rule) {
  ++failures;
  errno = rule.error;
  return -1;
}

// A read or write: passes what the file's rule still lets through (all of it without a rule),
// and fails once the rule has nothing left.
template <typename Call>
ssize_t transfer(Operation operation, int fd, size_t size, Call call) {
  if (!any_rule()) return call(size);
  char name[256];
  name_of(fd, name, sizeof name);
  Rule* rule = rule_for(operation, name);
  if (rule == nullptr || size == 0) return call(size);
  if (rule->allowed <= 0) return fail(*rule);
  const size_t passed = size < static_cast<size_t>(rule->allowed) ? size : rule->allowed;
  const ssize_t done = call(passed);
  if (done > 0) rule->allowed -= done;
  return done;
}

// An fsync or rename: true when the file's rule has let its calls through and this one fails.
bool call_fails(Operation operation, const char* name) {
  Rule* rule = rule_for(operation, name);
  if (rule == nullptr) return false;
  if (rule->allowed > 0) {
    --rule->allowed;
    return false;
  }
  fail(*rule);
  return true;
}

}  // namespace

extern "C" {

// Arms a failure: `operation` ("read", "write", "fsync" or "rename") on the file named
// `file_name` (a base name; "." for the working folder; "PREFIX*" for every name starting with
// PREFIX) lets `allowed` bytes or calls through
// and fails every one after with `error`. Returns 0, or -1 for an unknown operation or no room.
__attribute__((visibility("default"))) int fault_injector_fail(const char* operation,
                                                               const char* file_name, long allowed,
                                                               int error) {
  const Operation op = operation_named(operation);
  if (op == OP_NONE) return -1;
  for (Rule& rule : rules) {
    if (rule.operation != OP_NONE) continue;
    rule.operation = op;
    snprintf(rule.name, sizeof rule.name, "%s", file_name);
    rule.allowed = allowed;
    rule.error = error;
    return 0;
  }
  return -1;
}

// No failure armed, no failure counted, the log empty.
__attribute__((visibility("default"))) void fault_injector_reset() {
  for (Rule& rule : rules) rule = Rule{};
  failures = 0;
  log_text[0] = '\0';
}

// Calls made to fail since the last reset.
__attribute__((visibility("default"))) long fault_injector_failures() {
  return failures;
}

// Every fsync ("fsync NAME") and rename ("rename FROM TO") since the last reset, one a line.
__attribute__((visibility("default"))) const char* fault_injector_log() {
  return log_text;
}

__attribute__((visibility("default"))) ssize_t read(int fd, void* buffer, size_t size) {
  return transfer(OP_READ, fd, size, [&](size_t n) { return real_read(fd, buffer, n); });
}

__attribute__((visibility("default"))) ssize_t write(int fd, const void* buffer, size_t size) {
  return transfer(OP_WRITE, fd, size, [&](size_t n) { return real_write(fd, buffer, n); });
}

__attribute__((visibility("default"))) int fsync(int fd) {
  char name[256];
  name_of(fd, name, sizeof name);
  char line[300];
  snprintf(line, sizeof line, "fsync %s", name);
  append_log(line);
  if (call_fails(OP_FSYNC, name)) return -1;
  return real_fsync(fd);
}

__attribute__((visibility("default"))) int rename(const char* from, const char* to) {
  char line[600];
  snprintf(line, sizeof line, "rename %s %s", base_name(from), base_name(to));
  append_log(line);
  if (call_fails(OP_RENAME, base_name(from))) return -1;
  return real_rename(from, to);
}

}  // extern "C"
