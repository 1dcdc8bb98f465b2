/*
 * Test bridge: a Winelib jvm.dll that runs Debian's Linux JVM (libjvm.so) inside a Wine process, so
 * that the launcher, a Windows program, can host real Java under Wine. The launcher calls every JNI
 * table entry with the Microsoft x64 convention while libjvm.so's entries use System V, so the bridge
 * hands out its own JavaVM and JNIEnv tables of ms_abi entries that forward to the real ones.
 *
 * The bridge owns: the helper thread that carries out the calls of the process's primordial thread
 * (the Linux JVM cannot be created on, or attach, that thread), the per-thread JNIEnv wrappers, the
 * methodID-to-signature records that variadic entries need to read their arguments, the translation
 * of the Windows class path into a Unix one, the Unix current directory (kept equal to the Windows
 * one before every forwarded call), and the log that the tests read (STUB_BRIDGE_LOG).
 */
#define _GNU_SOURCE /* F_SETPIPE_SZ */
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <windef.h>
#include <winbase.h>
#include <winnls.h>

#include <jni.h>

#include "entry_names.h"

#define MS_ABI __attribute__((ms_abi))
#define kDefaultLibjvm "/usr/lib/jvm/java-17-openjdk-amd64/lib/server/libjvm.so"
#define kClassPathOption "-Djava.class.path="
#define kUserDirOption "-Duser.dir="

enum {
  kEnvSlots = sizeof(struct JNINativeInterface_) / sizeof(void *),
  kVmSlots = sizeof(struct JNIInvokeInterface_) / sizeof(void *),
  kMaxCallArgs = 6,
  kMaxMethodParams = 32,
};
_Static_assert(kEnvSlots == sizeof kEnvEntryNames / sizeof *kEnvEntryNames, "jni.h table size");
_Static_assert(kVmSlots == sizeof kVmEntryNames / sizeof *kVmEntryNames, "jni.h table size");

typedef jint (*CreateJavaVmFn)(JavaVM **, void **, void *);
typedef jint (*GetDefaultArgsFn)(void *);

/* What the launcher receives as a JNIEnv: the table pointer must come first, since the launcher
 * reads (*env)->Entry; the rest is the bridge's own. */
typedef struct {
  void *const *functions;
  JNIEnv *real;
  int on_helper; /* the owning thread is primordial: its calls run on the helper thread */
} BridgeEnv;

typedef struct {
  void *const *functions;
} BridgeVm;

/* One forwarded call to a System V function with integer-class arguments and result. */
typedef struct {
  void *fn;
  int argc;
  uint64_t argv[kMaxCallArgs];
  uint64_t result;
} Call;

typedef struct MethodRecord {
  jmethodID id;
  char *owner; /* class name as the launcher looked it up; "" when not known */
  char *name;
  char *signature;
  struct MethodRecord *next;
} MethodRecord;

static void *g_env_table[kEnvSlots];
static void *g_vm_table[kVmSlots];
static BridgeVm g_vm = {g_vm_table};
static JavaVM *g_real_vm;
static CreateJavaVmFn g_real_create;
static GetDefaultArgsFn g_real_default_args;
/* The calling thread's wrapper. A Win32 TLS slot, because ELF __thread storage does not survive
 * the switch between Windows and Unix code in a Winelib module. */
static DWORD g_env_slot = TLS_OUT_OF_INDEXES;

static pthread_mutex_t g_methods_lock = PTHREAD_MUTEX_INITIALIZER;
static MethodRecord *g_methods;
/* Class references the launcher obtained with FindClass, newest first, to name a method's owner. */
typedef struct ClassRecord {
  jclass ref;
  char *name;
  struct ClassRecord *next;
} ClassRecord;
static ClassRecord *g_classes;
static pthread_mutex_t g_log_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_mutex_t g_cwd_lock = PTHREAD_MUTEX_INITIALIZER;
static WCHAR g_followed_cwd[MAX_PATH + 1];
static DWORD g_followed_cwd_length;

static struct {
  pthread_mutex_t lock;
  pthread_mutex_t client; /* one request at a time, whoever posts it */
  pthread_cond_t posted;
  pthread_cond_t done;
  Call *pending;
  int finished;
  HANDLE thread;
} g_helper = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER,
              PTHREAD_COND_INITIALIZER, NULL, 0, NULL};

/* ------------------------------------------------------------------------------------------------ */
/* Log and loud failure */

static void LogLine(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void LogLine(const char *format, ...) {
  const char *path = getenv("STUB_BRIDGE_LOG");
  if (!path || !*path) return;
  pthread_mutex_lock(&g_log_lock);
  /* Opened per line so that nothing is lost when Java ends the process with System.exit. */
  FILE *log = fopen(path, "a");
  if (log) {
    va_list args;
    va_start(args, format);
    vfprintf(log, format, args);
    va_end(args);
    fputc('\n', log);
    fclose(log);
  }
  pthread_mutex_unlock(&g_log_lock);
}

static void Fail(const char *format, ...) __attribute__((noreturn, format(printf, 1, 2)));
static void Fail(const char *format, ...) {
  va_list args;
  va_start(args, format);
  fputs("bridge jvm.dll: ", stderr);
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
  va_end(args);
  fflush(stderr);
  abort();
}

/* One distinct function per table slot, so that the message can name the entry the launcher used. */
#define DEFINE_MISSING_ENV(i)                                                                      \
  static void MS_ABI MissingEnv##i(void) {                                                         \
    Fail("JNIEnv entry %d (%s) was called, but the bridge does not forward it", i,                 \
         kEnvEntryNames[i]);                                                                       \
  }
#define DEFINE_MISSING_VM(i)                                                                       \
  static void MS_ABI MissingVm##i(void) {                                                          \
    Fail("JavaVM entry %d (%s) was called, but the bridge does not forward it", i,                 \
         kVmEntryNames[i]);                                                                        \
  }
FOR_EACH_ENV_SLOT(DEFINE_MISSING_ENV)
FOR_EACH_VM_SLOT(DEFINE_MISSING_VM)
#define LIST_MISSING_ENV(i) (void *)MissingEnv##i,
#define LIST_MISSING_VM(i) (void *)MissingVm##i,
static void *const kMissingEnv[kEnvSlots] = {FOR_EACH_ENV_SLOT(LIST_MISSING_ENV)};
static void *const kMissingVm[kVmSlots] = {FOR_EACH_VM_SLOT(LIST_MISSING_VM)};

/* ------------------------------------------------------------------------------------------------ */
/* Threads */

static int OnPrimordialThread(void) {
  return syscall(SYS_gettid) == getpid();
}

/* Calling a System V function through a wider prototype is sound on x86-64: extra integer
 * registers are ignored and an int or boolean result is truncated again by the caller. */
typedef uint64_t (*Fn6)(uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t);

static void Invoke(Call *call) {
  const uint64_t *a = call->argv;
  call->result = ((Fn6)call->fn)(a[0], a[1], a[2], a[3], a[4], a[5]);
}

static DWORD WINAPI HelperMain(void *unused) {
  (void)unused;
  for (;;) {
    pthread_mutex_lock(&g_helper.lock);
    while (!g_helper.pending) pthread_cond_wait(&g_helper.posted, &g_helper.lock);
    Call *call = g_helper.pending;
    g_helper.pending = NULL;
    pthread_mutex_unlock(&g_helper.lock);

    Invoke(call);

    pthread_mutex_lock(&g_helper.lock);
    g_helper.finished = 1;
    pthread_cond_signal(&g_helper.done);
    pthread_mutex_unlock(&g_helper.lock);
  }
  return 0;
}

static void EnsureHelper(void) {
  pthread_mutex_lock(&g_helper.client);
  if (!g_helper.thread) {
    /* The JVM's main thread needs a larger stack than the executable's default reservation. */
    g_helper.thread = CreateThread(NULL, 16 << 20, HelperMain, NULL,
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
    if (!g_helper.thread) Fail("CreateThread for the helper thread failed: %u", (unsigned)GetLastError());
  }
  pthread_mutex_unlock(&g_helper.client);
}

static void RunOnHelper(Call *call) {
  EnsureHelper();
  pthread_mutex_lock(&g_helper.client);
  pthread_mutex_lock(&g_helper.lock);
  g_helper.finished = 0;
  g_helper.pending = call;
  pthread_cond_signal(&g_helper.posted);
  while (!g_helper.finished) pthread_cond_wait(&g_helper.done, &g_helper.lock);
  pthread_mutex_unlock(&g_helper.lock);
  pthread_mutex_unlock(&g_helper.client);
}

/* ------------------------------------------------------------------------------------------------ */
/* Standard streams */

/* A Windows JVM's C runtime binds standard output and error to the process's standard handles when it
 * loads; the Linux JVM writes to Unix descriptors 1 and 2, the ones Wine was started with. Where a
 * standard handle is a Windows pipe (a launcher's log pipe; Wine keeps those in its server, without a
 * Unix descriptor), the bridge puts a Unix pipe on the descriptor and a Windows thread forwards what
 * arrives to the handle, so that the JVM's own output and System.out/err reach it as on Windows.
 * Handles Wine made from its own Unix descriptors are left alone. DrainStreams, before the launcher's
 * exit hook runs and after DestroyJavaVM, returns once everything written so far was forwarded. */
typedef struct {
  HANDLE handle;
  int read_fd;
  int wake[2]; /* DrainStreams -> forwarder */
  int done[2]; /* forwarder -> DrainStreams */
} Forwarder;

static Forwarder g_forwarders[2];
static int g_forwarder_count;

static int WriteToHandle(HANDLE handle, const char *data, size_t size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(handle, data, (DWORD)size, &written, NULL) || written == 0) return 0;
    data += written;
    size -= written;
  }
  return 1;
}

enum { kForwardBytes = 1 << 20 };

static DWORD WINAPI ForwardMain(void *param) {
  Forwarder *f = param;
  char *buffer = malloc(kForwardBytes);
  if (!buffer) Fail("no memory for a stream forwarder");
  for (;;) {
    struct pollfd fds[2] = {{f->read_fd, POLLIN, 0}, {f->wake[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    if (fds[0].revents) {
      ssize_t got = read(f->read_fd, buffer, kForwardBytes);
      if (got <= 0) return 0;
      WriteToHandle(f->handle, buffer, (size_t)got);
      /* A writer of many short lines would otherwise wake this thread for each: letting them gather
       * for a millisecond (the pipe holds a megabyte) makes one forward of many. */
      if (got < kForwardBytes) usleep(1000);
      continue; /* data first: a drain is answered once the pipe is empty */
    }
    if (fds[1].revents) {
      char c;
      if (read(f->wake[0], &c, 1) == 1 && write(f->done[1], &c, 1) != 1) return 0;
    }
  }
}

static void HandOverStream(int fd, DWORD which) {
  HANDLE handle = GetStdHandle(which);
  if (!handle || handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_PIPE ||
      !GetNamedPipeInfo(handle, NULL, NULL, NULL, NULL)) {
    return;
  }
  for (int i = 0; i < g_forwarder_count; ++i) {
    if (g_forwarders[i].handle == handle) { /* both streams on one pipe stay one stream */
      dup2(fd == 2 ? 1 : 2, fd);
      LogLine("handover\t%d\tshared", fd);
      return;
    }
  }
  Forwarder *f = &g_forwarders[g_forwarder_count];
  int unix_pipe[2];
  if (pipe(unix_pipe) != 0 || pipe(f->wake) != 0 || pipe(f->done) != 0) Fail("pipe failed for descriptor %d", fd);
  f->handle = handle;
  f->read_fd = unix_pipe[0];
  fcntl(unix_pipe[1], F_SETPIPE_SZ, kForwardBytes);
  dup2(unix_pipe[1], fd);
  close(unix_pipe[1]);
  if (!CreateThread(NULL, 0, ForwardMain, f, 0, NULL)) Fail("CreateThread for a stream forwarder failed");
  ++g_forwarder_count;
  LogLine("handover\t%d", fd);
}

/* Only the C library: the exit hook calls it on a thread Wine does not know. */
static void DrainStreams(void) {
  for (int i = 0; i < g_forwarder_count; ++i) {
    Forwarder *f = &g_forwarders[i];
    char c = 1;
    if (write(f->wake[1], &c, 1) != 1) continue;
    struct pollfd done = {f->done[0], POLLIN, 0};
    if (poll(&done, 1, 10000) == 1 && read(f->done[0], &c, 1) == 1) continue;
    LogLine("drain_timeout\t%d", i);
  }
}

/* ------------------------------------------------------------------------------------------------ */
/* Exit hook */

/* The launcher's exit hook is a Windows function: Microsoft convention, and it calls Win32. The Linux
 * JVM calls its hook with the System V convention on a thread it made itself, which Wine does not
 * know and which therefore cannot run Windows code. So the JVM gets BridgeExitHook, which hands the
 * status to a thread made with CreateThread when the JVM was created, and waits; that thread calls the
 * launcher's hook. The hook normally ends the process; if it returns, so does BridgeExitHook, and the
 * JVM ends the process itself. */
typedef void(MS_ABI *WindowsExitHook)(jint);

static struct {
  pthread_mutex_t lock;
  pthread_cond_t posted;
  pthread_cond_t done;
  WindowsExitHook hook;
  HANDLE thread;
  int pending; /* a status was posted; only the first exit is carried over */
  int finished;
  jint status;
} g_exit = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, PTHREAD_COND_INITIALIZER, NULL, NULL, 0, 0, 0};

static DWORD WINAPI ExitHookMain(void *unused) {
  (void)unused;
  pthread_mutex_lock(&g_exit.lock);
  while (!g_exit.pending) pthread_cond_wait(&g_exit.posted, &g_exit.lock);
  jint status = g_exit.status;
  pthread_mutex_unlock(&g_exit.lock);

  g_exit.hook(status);

  pthread_mutex_lock(&g_exit.lock);
  g_exit.finished = 1;
  pthread_cond_broadcast(&g_exit.done);
  pthread_mutex_unlock(&g_exit.lock);
  return 0;
}

/* Runs on the JVM's own thread: only the C library and pthreads here, no Windows call. */
static void BridgeExitHook(jint status) {
  LogLine("exit_hook\t%d", (int)status);
  DrainStreams();
  pthread_mutex_lock(&g_exit.lock);
  if (!g_exit.pending) {
    g_exit.status = status;
    g_exit.pending = 1;
    pthread_cond_signal(&g_exit.posted);
  }
  while (!g_exit.finished) pthread_cond_wait(&g_exit.done, &g_exit.lock);
  pthread_mutex_unlock(&g_exit.lock);
}

/* Called on the creating thread, a Windows one, so that the hook's thread exists before the JVM. */
static void *BridgeExitHookFor(void *launcher_hook) {
  if (!launcher_hook) return NULL;
  g_exit.hook = (WindowsExitHook)launcher_hook;
  if (!g_exit.thread) {
    g_exit.thread = CreateThread(NULL, 0, ExitHookMain, NULL, 0, NULL);
    if (!g_exit.thread) Fail("CreateThread for the exit hook failed: %u", (unsigned)GetLastError());
  }
  return (void *)BridgeExitHook;
}

/* ------------------------------------------------------------------------------------------------ */
/* Paths */

static char *UnixPathOfWide(const WCHAR *wide) {
  char *unix_path = wine_get_unix_file_name(wide);
  if (!unix_path) return NULL;
  char *copy = strdup(unix_path);
  HeapFree(GetProcessHeap(), 0, unix_path);
  size_t length = strlen(copy);
  /* Wine keeps a trailing separator of "Classes\"; Java does not need it. */
  while (length > 1 && copy[length - 1] == '/') copy[--length] = '\0';
  return copy;
}

/* Options reach a Windows JVM in the ANSI code page, and it decodes them with that code page. */
static char *UnixPathOf(const char *windows_path) {
  WCHAR wide[4 * MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, windows_path, -1, wide, sizeof wide / sizeof *wide)) {
    return NULL;
  }
  return UnixPathOfWide(wide);
}

/* The Linux JVM opens relative names against the Unix current directory, which Wine never moves. */
static void FollowWindowsDirectory(void) {
  WCHAR current[MAX_PATH + 1];
  DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, current);
  if (length == 0 || length > MAX_PATH) return;
  pthread_mutex_lock(&g_cwd_lock);
  /* WCHAR is 16 bits here while the C library's wide functions use 32, hence memcmp. */
  if (length != g_followed_cwd_length || memcmp(current, g_followed_cwd, length * sizeof *current)) {
    char *unix_path = wine_get_unix_file_name(current);
    if (unix_path && chdir(unix_path) == 0) {
      memcpy(g_followed_cwd, current, (length + 1) * sizeof *current);
      g_followed_cwd_length = length;
      LogLine("chdir\t%s", unix_path);
    }
    if (unix_path) HeapFree(GetProcessHeap(), 0, unix_path);
  }
  pthread_mutex_unlock(&g_cwd_lock);
}

static void Append(char **text, size_t *length, const char *piece) {
  size_t add = strlen(piece);
  *text = realloc(*text, *length + add + 1);
  if (!*text) Fail("out of memory");
  memcpy(*text + *length, piece, add + 1);
  *length += add;
}

/* Windows entries separated by ';' become Unix paths separated by ':'. */
static char *TranslateClassPath(const char *windows_list) {
  char *result = NULL;
  size_t length = 0;
  Append(&result, &length, "");
  char *list = strdup(windows_list);
  char *cursor = list;
  for (char *entry = strsep(&cursor, ";"); entry; entry = strsep(&cursor, ";")) {
    if (!*entry) continue;
    char *unix_path = UnixPathOf(entry);
    if (!unix_path) {
      /* A path Wine cannot map (a missing parent directory) cannot hold classes either. */
      LogLine("untranslated\t%s", entry);
      unix_path = strdup(entry);
      for (char *c = unix_path; *c; ++c)
        if (*c == '\\') *c = '/';
    }
    if (length) Append(&result, &length, ":");
    Append(&result, &length, unix_path);
    free(unix_path);
  }
  free(list);
  return result;
}

/* ------------------------------------------------------------------------------------------------ */
/* Methods */

static void RememberClass(jclass ref, const char *name) {
  ClassRecord *record = malloc(sizeof *record);
  if (!record) Fail("out of memory");
  record->ref = ref;
  record->name = strdup(name);
  pthread_mutex_lock(&g_methods_lock);
  record->next = g_classes;
  g_classes = record;
  pthread_mutex_unlock(&g_methods_lock);
}

/* Local references are reused once freed, so the newest record of a reference is the right one for
 * the launcher's look-up-then-use sequences; anything else is only used for path translation. */
static const char *ClassName(jclass ref) {
  pthread_mutex_lock(&g_methods_lock);
  const ClassRecord *record = g_classes;
  while (record && record->ref != ref) record = record->next;
  pthread_mutex_unlock(&g_methods_lock);
  return record ? record->name : "";
}

static void RememberMethod(jmethodID id, jclass owner, const char *name, const char *signature) {
  MethodRecord *record = malloc(sizeof *record);
  if (!record) Fail("out of memory");
  record->id = id;
  record->owner = strdup(ClassName(owner));
  record->name = strdup(name);
  record->signature = strdup(signature);
  pthread_mutex_lock(&g_methods_lock);
  record->next = g_methods;
  g_methods = record;
  pthread_mutex_unlock(&g_methods_lock);
}

static const MethodRecord *FindMethod(jmethodID id) {
  pthread_mutex_lock(&g_methods_lock);
  const MethodRecord *record = g_methods;
  while (record && record->id != id) record = record->next;
  pthread_mutex_unlock(&g_methods_lock);
  if (!record) Fail("method ID %p was not obtained through the bridge", (void *)id);
  return record;
}

static const char *SkipType(const char *type) {
  while (*type == '[') ++type;
  if (*type == 'L') {
    const char *end = strchr(type, ';');
    if (!end) Fail("malformed signature near %s", type);
    return end + 1;
  }
  return type + 1;
}

/* Reads a variadic call's arguments as the Microsoft convention laid them out; float arguments
 * arrive promoted to double, the narrow integer types promoted to int. */
static void ReadArguments(jmethodID id, __builtin_ms_va_list args, jvalue *out) {
  const MethodRecord *method = FindMethod(id);
  const char *type = method->signature + 1;
  for (int i = 0; *type && *type != ')'; ++i, type = SkipType(type)) {
    if (i == kMaxMethodParams) Fail("%s%s has too many parameters", method->name, method->signature);
    memset(&out[i], 0, sizeof out[i]);
    switch (*type) {
      case 'Z': out[i].z = (jboolean)__builtin_va_arg(args, int); break;
      case 'B': out[i].b = (jbyte)__builtin_va_arg(args, int); break;
      case 'C': out[i].c = (jchar)__builtin_va_arg(args, int); break;
      case 'S': out[i].s = (jshort)__builtin_va_arg(args, int); break;
      case 'I': out[i].i = __builtin_va_arg(args, int); break;
      case 'J': out[i].j = __builtin_va_arg(args, long long); break;
      case 'F': out[i].f = (jfloat)__builtin_va_arg(args, double); break;
      case 'D': out[i].d = __builtin_va_arg(args, double); break;
      case 'L':
      case '[': out[i].l = __builtin_va_arg(args, jobject); break;
      default: Fail("unsupported type in signature %s", method->signature);
    }
  }
}

/* ------------------------------------------------------------------------------------------------ */
/* Forwarding */

#define U(x) ((uint64_t)(uintptr_t)(x))
#define AS(type, value) ((type)(uintptr_t)(value))
#define BE(env) ((BridgeEnv *)(env))
#define REAL_ENTRY(e, name) ((void *)(*(e)->real)->name)
#define FWD(e, name, ...)                                                                          \
  Forward((e), REAL_ENTRY(e, name), (const uint64_t[]){U((e)->real), __VA_ARGS__},                 \
          sizeof((const uint64_t[]){U((e)->real), __VA_ARGS__}) / sizeof(uint64_t))

static uint64_t Forward(BridgeEnv *env, void *fn, const uint64_t *argv, int argc) {
  if (!env->real) Fail("a JNIEnv was used after its thread detached");
  FollowWindowsDirectory();
  Call call = {fn, argc, {0}, 0};
  memcpy(call.argv, argv, argc * sizeof *argv);
  if (env->on_helper) {
    RunOnHelper(&call);
  } else {
    Invoke(&call);
  }
  return call.result;
}

static BridgeEnv *ThreadEnv(void) {
  return TlsGetValue(g_env_slot);
}

static void SetThreadEnv(BridgeEnv *env) {
  TlsSetValue(g_env_slot, env);
}

static BridgeEnv *NewBridgeEnv(JNIEnv *real, int on_helper) {
  BridgeEnv *env = calloc(1, sizeof *env);
  if (!env) Fail("out of memory");
  env->functions = g_env_table;
  env->real = real;
  env->on_helper = on_helper;
  return env;
}

static void LogStaticCall(BridgeEnv *env, jmethodID id, const jvalue *args) {
  const MethodRecord *method = FindMethod(id);
  LogLine("call\t%s\t%s", method->name, method->signature);
  if (strcmp(method->name, "setProperty") != 0 || !args[0].l || !args[1].l) return;
  const char *texts[2];
  for (int i = 0; i < 2; ++i)
    texts[i] = AS(const char *, FWD(env, GetStringUTFChars, U(args[i].l), U(NULL)));
  LogLine("property\t%s\t%s", texts[0], texts[1]);
  for (int i = 0; i < 2; ++i) FWD(env, ReleaseStringUTFChars, U(args[i].l), U(texts[i]));
}

static jint MS_ABI EnvGetVersion(JNIEnv *env) {
  return (jint)Forward(BE(env), REAL_ENTRY(BE(env), GetVersion), (const uint64_t[]){U(BE(env)->real)}, 1);
}

static jclass MS_ABI EnvFindClass(JNIEnv *env, const char *name) {
  jclass cls = AS(jclass, FWD(BE(env), FindClass, U(name)));
  if (cls) RememberClass(cls, name);
  return cls;
}

/* A Windows JVM accepts "logs\out.txt" and "C:\x\out.txt" for a FileOutputStream; the Linux one
 * would create a file with backslashes in its name. Plain relative names need nothing: the Unix
 * current directory already follows the Windows one. */
static int LooksWindowsPath(const char *name) {
  return strchr(name, '\\') || (name[0] && name[1] == ':');
}

/* The name arrives as the Java string the launcher made from UTF-16; it is read back as UTF-16, as a
 * Windows JVM opens files through the wide calls, and the Unix name goes back to Java the same way. */
static jvalue TranslateFileName(BridgeEnv *env, jvalue name) {
  if (!name.l) return name;
  jobject original = name.l;
  jsize units = (jsize)FWD(env, GetStringLength, U(original));
  const jchar *chars = AS(const jchar *, FWD(env, GetStringChars, U(original), U(NULL)));
  if (!chars) return name;
  WCHAR *wide = calloc((size_t)units + 1, sizeof *wide);
  if (!wide) Fail("out of memory");
  memcpy(wide, chars, (size_t)units * sizeof *wide);
  FWD(env, ReleaseStringChars, U(original), U(chars));
  char text[4 * MAX_PATH];
  if (!WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, NULL, NULL)) text[0] = '\0';
  if (LooksWindowsPath(text)) {
    char *unix_path = UnixPathOfWide(wide);
    LogLine("file\t%s\t%s", text, unix_path ? unix_path : "(untranslated)");
    if (unix_path) {
      WCHAR unix_wide[4 * MAX_PATH];
      int length = MultiByteToWideChar(CP_UTF8, 0, unix_path, -1, unix_wide, sizeof unix_wide / sizeof *unix_wide);
      if (length > 0) name.l = AS(jobject, FWD(env, NewString, U(unix_wide), U(length - 1)));
    }
    free(unix_path);
  }
  free(wide);
  return name;
}

static jmethodID MS_ABI EnvGetMethodID(JNIEnv *env, jclass cls, const char *name, const char *sig) {
  jmethodID id = AS(jmethodID, FWD(BE(env), GetMethodID, U(cls), U(name), U(sig)));
  if (id) RememberMethod(id, cls, name, sig);
  return id;
}

static jmethodID MS_ABI EnvGetStaticMethodID(JNIEnv *env, jclass cls, const char *name,
                                             const char *sig) {
  jmethodID id = AS(jmethodID, FWD(BE(env), GetStaticMethodID, U(cls), U(name), U(sig)));
  if (id) RememberMethod(id, cls, name, sig);
  return id;
}

static jobject MS_ABI EnvNewObjectA(JNIEnv *env, jclass cls, jmethodID id, const jvalue *args) {
  const MethodRecord *method = FindMethod(id);
  jvalue translated[kMaxMethodParams];
  if (!strcmp(method->owner, "java/io/FileOutputStream") &&
      !strncmp(method->signature, "(Ljava/lang/String;", 19)) {
    int count = 0;
    for (const char *type = method->signature + 1; *type && *type != ')'; type = SkipType(type))
      ++count;
    memcpy(translated, args, count * sizeof *args);
    translated[0] = TranslateFileName(BE(env), args[0]);
    args = translated;
  }
  return AS(jobject, FWD(BE(env), NewObjectA, U(cls), U(id), U(args)));
}

static jobject MS_ABI EnvNewObjectV(JNIEnv *env, jclass cls, jmethodID id,
                                    __builtin_ms_va_list list) {
  jvalue args[kMaxMethodParams];
  ReadArguments(id, list, args);
  return EnvNewObjectA(env, cls, id, args);
}

static jobject MS_ABI EnvNewObject(JNIEnv *env, jclass cls, jmethodID id, ...) {
  __builtin_ms_va_list list;
  __builtin_ms_va_start(list, id);
  jvalue args[kMaxMethodParams];
  ReadArguments(id, list, args);
  __builtin_ms_va_end(list);
  return EnvNewObjectA(env, cls, id, args);
}

/* The three forms of a call entry with an integer-class result; Target is jclass for static calls
 * and jobject for instance calls. Float and double results are not forwarded. */
#define DEFINE_CALLS(Name, Result, Target, Log)                                                     \
  static Result MS_ABI Env##Name##A(JNIEnv *env, Target target, jmethodID id,                      \
                                    const jvalue *args) {                                          \
    if (Log) LogStaticCall(BE(env), id, args);                                                     \
    return (Result)FWD(BE(env), Name##A, U(target), U(id), U(args));                               \
  }                                                                                                \
  static Result MS_ABI Env##Name##V(JNIEnv *env, Target target, jmethodID id,                      \
                                    __builtin_ms_va_list list) {                                   \
    jvalue args[kMaxMethodParams];                                                                 \
    ReadArguments(id, list, args);                                                                 \
    return Env##Name##A(env, target, id, args);                                                    \
  }                                                                                                \
  static Result MS_ABI Env##Name(JNIEnv *env, Target target, jmethodID id, ...) {                  \
    __builtin_ms_va_list list;                                                                     \
    __builtin_ms_va_start(list, id);                                                               \
    jvalue args[kMaxMethodParams];                                                                 \
    ReadArguments(id, list, args);                                                                 \
    __builtin_ms_va_end(list);                                                                     \
    return Env##Name##A(env, target, id, args);                                                    \
  }

/* jobject results go through uintptr_t; the integer kinds are plain conversions. */
typedef uintptr_t ObjectBits;
DEFINE_CALLS(CallStaticObjectMethod, ObjectBits, jclass, 1)
DEFINE_CALLS(CallStaticBooleanMethod, jboolean, jclass, 1)
DEFINE_CALLS(CallStaticIntMethod, jint, jclass, 1)
DEFINE_CALLS(CallStaticLongMethod, jlong, jclass, 1)
DEFINE_CALLS(CallStaticVoidMethod, uint64_t, jclass, 1)
DEFINE_CALLS(CallObjectMethod, ObjectBits, jobject, 0)
DEFINE_CALLS(CallBooleanMethod, jboolean, jobject, 0)
DEFINE_CALLS(CallIntMethod, jint, jobject, 0)
DEFINE_CALLS(CallLongMethod, jlong, jobject, 0)
DEFINE_CALLS(CallVoidMethod, uint64_t, jobject, 0)

static jstring MS_ABI EnvNewString(JNIEnv *env, const jchar *chars, jsize length) {
  return AS(jstring, FWD(BE(env), NewString, U(chars), U(length)));
}

static jstring MS_ABI EnvNewStringUTF(JNIEnv *env, const char *text) {
  return AS(jstring, FWD(BE(env), NewStringUTF, U(text)));
}

static const char *MS_ABI EnvGetStringUTFChars(JNIEnv *env, jstring text, jboolean *is_copy) {
  return AS(const char *, FWD(BE(env), GetStringUTFChars, U(text), U(is_copy)));
}

static void MS_ABI EnvReleaseStringUTFChars(JNIEnv *env, jstring text, const char *chars) {
  FWD(BE(env), ReleaseStringUTFChars, U(text), U(chars));
}

static jobjectArray MS_ABI EnvNewObjectArray(JNIEnv *env, jsize length, jclass cls, jobject init) {
  return AS(jobjectArray, FWD(BE(env), NewObjectArray, U(length), U(cls), U(init)));
}

static void MS_ABI EnvSetObjectArrayElement(JNIEnv *env, jobjectArray array, jsize index,
                                            jobject value) {
  FWD(BE(env), SetObjectArrayElement, U(array), U(index), U(value));
}

static jobject MS_ABI EnvGetObjectArrayElement(JNIEnv *env, jobjectArray array, jsize index) {
  return AS(jobject, FWD(BE(env), GetObjectArrayElement, U(array), U(index)));
}

static jsize MS_ABI EnvGetArrayLength(JNIEnv *env, jarray array) {
  return (jsize)FWD(BE(env), GetArrayLength, U(array));
}

static jboolean MS_ABI EnvExceptionCheck(JNIEnv *env) {
  return (jboolean)Forward(BE(env), REAL_ENTRY(BE(env), ExceptionCheck),
                           (const uint64_t[]){U(BE(env)->real)}, 1);
}

static jthrowable MS_ABI EnvExceptionOccurred(JNIEnv *env) {
  return AS(jthrowable, Forward(BE(env), REAL_ENTRY(BE(env), ExceptionOccurred),
                                (const uint64_t[]){U(BE(env)->real)}, 1));
}

static void MS_ABI EnvExceptionDescribe(JNIEnv *env) {
  Forward(BE(env), REAL_ENTRY(BE(env), ExceptionDescribe), (const uint64_t[]){U(BE(env)->real)}, 1);
}

static void MS_ABI EnvExceptionClear(JNIEnv *env) {
  Forward(BE(env), REAL_ENTRY(BE(env), ExceptionClear), (const uint64_t[]){U(BE(env)->real)}, 1);
}

static void MS_ABI EnvDeleteLocalRef(JNIEnv *env, jobject ref) {
  FWD(BE(env), DeleteLocalRef, U(ref));
}

static jobject MS_ABI EnvNewGlobalRef(JNIEnv *env, jobject ref) {
  return AS(jobject, FWD(BE(env), NewGlobalRef, U(ref)));
}

static void MS_ABI EnvDeleteGlobalRef(JNIEnv *env, jobject ref) {
  FWD(BE(env), DeleteGlobalRef, U(ref));
}

static jclass MS_ABI EnvGetObjectClass(JNIEnv *env, jobject object) {
  return AS(jclass, FWD(BE(env), GetObjectClass, U(object)));
}

static jint MS_ABI EnvGetJavaVM(JNIEnv *env, JavaVM **vm) {
  (void)env;
  *vm = (JavaVM *)&g_vm;
  return JNI_OK;
}

/* ------------------------------------------------------------------------------------------------ */
/* Invocation interface */

static jint AttachOrDetach(void *real_entry, void **penv, void *args, int attach) {
  int on_helper = OnPrimordialThread();
  JNIEnv *real = NULL;
  Call call = {real_entry, attach ? 3 : 1, {U(g_real_vm), U(&real), U(args)}, 0};
  if (on_helper) {
    RunOnHelper(&call);
  } else {
    Invoke(&call);
  }
  jint result = (jint)call.result;
  BridgeEnv *env = ThreadEnv();
  if (!attach) {
    /* Leaked on purpose: a launcher that keeps using a detached env gets a loud failure. */
    if (env) env->real = NULL;
    SetThreadEnv(NULL);
    return result;
  }
  if (result == JNI_OK) {
    if (!env || env->real != real) {
      env = NewBridgeEnv(real, on_helper);
      SetThreadEnv(env);
    }
    *penv = env;
  }
  return result;
}

static jint MS_ABI VmAttachCurrentThread(JavaVM *vm, void **penv, void *args) {
  (void)vm;
  const JavaVMAttachArgs *attach = args;
  LogLine("attach\t%s", attach && attach->name ? attach->name : "");
  jint result = AttachOrDetach((void *)(*g_real_vm)->AttachCurrentThread, penv, args, 1);
  LogLine("attach_result\t%d", (int)result);
  return result;
}

static jint MS_ABI VmAttachCurrentThreadAsDaemon(JavaVM *vm, void **penv, void *args) {
  (void)vm;
  return AttachOrDetach((void *)(*g_real_vm)->AttachCurrentThreadAsDaemon, penv, args, 1);
}

static jint MS_ABI VmDetachCurrentThread(JavaVM *vm) {
  (void)vm;
  return AttachOrDetach((void *)(*g_real_vm)->DetachCurrentThread, NULL, NULL, 0);
}

static jint MS_ABI VmGetEnv(JavaVM *vm, void **penv, jint version) {
  (void)vm;
  (void)version;
  *penv = ThreadEnv();
  return *penv ? JNI_OK : JNI_EDETACHED;
}

static jint MS_ABI VmDestroyJavaVM(JavaVM *vm) {
  (void)vm;
  FollowWindowsDirectory();
  Call call = {(void *)(*g_real_vm)->DestroyJavaVM, 1, {U(g_real_vm)}, 0};
  if (OnPrimordialThread()) {
    RunOnHelper(&call);
  } else {
    Invoke(&call);
  }
  DrainStreams();
  LogLine("destroy_result\t%d", (int)(jint)call.result);
  return (jint)call.result;
}

/* ------------------------------------------------------------------------------------------------ */
/* Exports */

#define ENV_SLOT(name) g_env_table[offsetof(struct JNINativeInterface_, name) / sizeof(void *)]
#define VM_SLOT(name) g_vm_table[offsetof(struct JNIInvokeInterface_, name) / sizeof(void *)]

static void FillTables(void) {
  g_env_slot = TlsAlloc();
  if (g_env_slot == TLS_OUT_OF_INDEXES) Fail("TlsAlloc failed");
  memcpy(g_env_table, kMissingEnv, sizeof g_env_table);
  memcpy(g_vm_table, kMissingVm, sizeof g_vm_table);
  ENV_SLOT(GetVersion) = (void *)EnvGetVersion;
  ENV_SLOT(FindClass) = (void *)EnvFindClass;
  ENV_SLOT(GetMethodID) = (void *)EnvGetMethodID;
  ENV_SLOT(GetStaticMethodID) = (void *)EnvGetStaticMethodID;
  ENV_SLOT(NewObject) = (void *)EnvNewObject;
  ENV_SLOT(NewObjectV) = (void *)EnvNewObjectV;
  ENV_SLOT(NewObjectA) = (void *)EnvNewObjectA;
#define SET_CALLS(Name)                                                                            \
  ENV_SLOT(Name) = (void *)Env##Name;                                                              \
  ENV_SLOT(Name##V) = (void *)Env##Name##V;                                                        \
  ENV_SLOT(Name##A) = (void *)Env##Name##A;
  SET_CALLS(CallStaticObjectMethod)
  SET_CALLS(CallStaticBooleanMethod)
  SET_CALLS(CallStaticIntMethod)
  SET_CALLS(CallStaticLongMethod)
  SET_CALLS(CallStaticVoidMethod)
  SET_CALLS(CallObjectMethod)
  SET_CALLS(CallBooleanMethod)
  SET_CALLS(CallIntMethod)
  SET_CALLS(CallLongMethod)
  SET_CALLS(CallVoidMethod)
  ENV_SLOT(NewString) = (void *)EnvNewString;
  ENV_SLOT(NewStringUTF) = (void *)EnvNewStringUTF;
  ENV_SLOT(GetStringUTFChars) = (void *)EnvGetStringUTFChars;
  ENV_SLOT(ReleaseStringUTFChars) = (void *)EnvReleaseStringUTFChars;
  ENV_SLOT(NewObjectArray) = (void *)EnvNewObjectArray;
  ENV_SLOT(SetObjectArrayElement) = (void *)EnvSetObjectArrayElement;
  ENV_SLOT(GetObjectArrayElement) = (void *)EnvGetObjectArrayElement;
  ENV_SLOT(GetArrayLength) = (void *)EnvGetArrayLength;
  ENV_SLOT(ExceptionCheck) = (void *)EnvExceptionCheck;
  ENV_SLOT(ExceptionOccurred) = (void *)EnvExceptionOccurred;
  ENV_SLOT(ExceptionDescribe) = (void *)EnvExceptionDescribe;
  ENV_SLOT(ExceptionClear) = (void *)EnvExceptionClear;
  ENV_SLOT(DeleteLocalRef) = (void *)EnvDeleteLocalRef;
  ENV_SLOT(NewGlobalRef) = (void *)EnvNewGlobalRef;
  ENV_SLOT(DeleteGlobalRef) = (void *)EnvDeleteGlobalRef;
  ENV_SLOT(GetObjectClass) = (void *)EnvGetObjectClass;
  ENV_SLOT(GetJavaVM) = (void *)EnvGetJavaVM;
  VM_SLOT(DestroyJavaVM) = (void *)VmDestroyJavaVM;
  VM_SLOT(AttachCurrentThread) = (void *)VmAttachCurrentThread;
  VM_SLOT(AttachCurrentThreadAsDaemon) = (void *)VmAttachCurrentThreadAsDaemon;
  VM_SLOT(DetachCurrentThread) = (void *)VmDetachCurrentThread;
  VM_SLOT(GetEnv) = (void *)VmGetEnv;
}

static int LoadRealJvm(void) {
  static pthread_once_t once = PTHREAD_ONCE_INIT;
  pthread_once(&once, FillTables);
  if (g_real_create) return 1;
  const char *path = getenv("STUB_BRIDGE_LIBJVM");
  if (!path || !*path) path = kDefaultLibjvm;
  void *library = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
  if (!library) {
    fprintf(stderr, "bridge jvm.dll: cannot load %s: %s\n", path, dlerror());
    return 0;
  }
  g_real_create = (CreateJavaVmFn)dlsym(library, "JNI_CreateJavaVM");
  g_real_default_args = (GetDefaultArgsFn)dlsym(library, "JNI_GetDefaultJavaVMInitArgs");
  if (!g_real_create || !g_real_default_args) {
    fprintf(stderr, "bridge jvm.dll: %s lacks the JNI invocation entry points\n", path);
    g_real_create = NULL;
    return 0;
  }
  /* Unloading the bridge would pull code from under the helper thread and the JVM's callers. */
  HMODULE self;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     (const WCHAR *)LoadRealJvm, &self);
  return 1;
}

/* Builds the option array the Linux JVM receives; NULL when an option cannot be honoured. */
static JavaVMOption *TranslateOptions(const JavaVMInitArgs *args) {
  JavaVMOption *options = calloc(args->nOptions + 1, sizeof *options);
  if (!options) Fail("out of memory");
  for (int i = 0; i < args->nOptions; ++i) {
    const char *text = args->options[i].optionString ? args->options[i].optionString : "";
    LogLine("option\t%s", text);
    if (!strcmp(text, "vfprintf") || !strcmp(text, "abort")) {
      /* Their extraInfo is a Windows function; the Linux JVM would call it with the wrong ABI. */
      fprintf(stderr, "bridge jvm.dll: the %s hook option is not supported\n", text);
      free(options);
      return NULL;
    }
    options[i] = args->options[i];
    if (!strcmp(text, "exit")) options[i].extraInfo = BridgeExitHookFor(args->options[i].extraInfo);
    if (!strncmp(text, kClassPathOption, strlen(kClassPathOption))) {
      char *unix_list = TranslateClassPath(text + strlen(kClassPathOption));
      char *option = NULL;
      size_t length = 0;
      Append(&option, &length, kClassPathOption);
      Append(&option, &length, unix_list);
      free(unix_list);
      options[i].optionString = option;
    }
    if (!strncmp(text, kUserDirOption, strlen(kUserDirOption))) {
      /* A Windows JVM takes the directory in Windows form; the Linux one needs it absolute in Unix form. */
      char *unix_dir = UnixPathOf(text + strlen(kUserDirOption));
      char *option = NULL;
      size_t length = 0;
      Append(&option, &length, kUserDirOption);
      Append(&option, &length, unix_dir ? unix_dir : text + strlen(kUserDirOption));
      free(unix_dir);
      options[i].optionString = option;
    }
    LogLine("translated\t%s", options[i].optionString ? options[i].optionString : "");
  }
  return options;
}

jint WINAPI BridgeCreateJavaVM(JavaVM **pvm, void **penv, void *raw_args) {
  JavaVMInitArgs *args = raw_args;
  if (!LoadRealJvm()) return JNI_ERR;
  if (g_real_vm) return JNI_EEXIST;
  LogLine("create\tversion=0x%x\tnOptions=%d\tignoreUnrecognized=%d", (unsigned)args->version,
          (int)args->nOptions, (int)args->ignoreUnrecognized);
  JavaVMOption *options = TranslateOptions(args);
  if (!options) return JNI_EINVAL;
  JavaVMInitArgs translated = *args;
  translated.options = options;

  HandOverStream(1, STD_OUTPUT_HANDLE);
  HandOverStream(2, STD_ERROR_HANDLE);
  FollowWindowsDirectory();
  int on_helper = OnPrimordialThread();
  JavaVM *real_vm = NULL;
  JNIEnv *real_env = NULL;
  Call call = {(void *)g_real_create, 3, {U(&real_vm), U(&real_env), U(&translated)}, 0};
  if (on_helper) {
    RunOnHelper(&call);
  } else {
    Invoke(&call);
  }
  jint result = (jint)call.result;
  LogLine("create_result\t%d\t%s", (int)result, on_helper ? "helper-thread" : "calling-thread");
  if (result != JNI_OK) return result;
  g_real_vm = real_vm;
  BridgeEnv *env = NewBridgeEnv(real_env, on_helper);
  SetThreadEnv(env);
  *pvm = (JavaVM *)&g_vm;
  *penv = env;
  return JNI_OK;
}

jint WINAPI BridgeGetDefaultJavaVMInitArgs(void *args) {
  if (!LoadRealJvm()) return JNI_ERR;
  return g_real_default_args(args);
}
