#include "os/system_call_filter.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace quorin::host::os {
namespace {

// Allowed whatever their arguments: memory, time, signals to return from,
// and reads and writes on descriptors already open (the source, the
// output file, the socket, standard error).
constexpr int unrestricted_calls[] = {
    SCMP_SYS(read),           SCMP_SYS(write),           SCMP_SYS(readv),
    SCMP_SYS(writev),         SCMP_SYS(pread64),         SCMP_SYS(pwrite64),
    SCMP_SYS(lseek),          SCMP_SYS(close),           SCMP_SYS(fstat),
    SCMP_SYS(newfstatat),     SCMP_SYS(recvmsg),         SCMP_SYS(sendmsg),
    SCMP_SYS(munmap),         SCMP_SYS(mremap),          SCMP_SYS(brk),
    SCMP_SYS(madvise),        SCMP_SYS(futex),           SCMP_SYS(getrandom),
    SCMP_SYS(clock_gettime),  SCMP_SYS(clock_getres),    SCMP_SYS(gettimeofday),
    SCMP_SYS(nanosleep),      SCMP_SYS(clock_nanosleep), SCMP_SYS(sched_yield),
    SCMP_SYS(getpid),         SCMP_SYS(gettid),          SCMP_SYS(rt_sigreturn),
    SCMP_SYS(rt_sigprocmask), SCMP_SYS(sigaltstack),     SCMP_SYS(restart_syscall),
    SCMP_SYS(exit),           SCMP_SYS(exit_group),      SCMP_SYS(set_robust_list),
    SCMP_SYS(rseq),
};

using filter_context = std::unique_ptr<void, decltype(&seccomp_release)>;

bool allow_all(scmp_filter_ctx filter) {
    for (const int call : unrestricted_calls) {
        if (seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) != 0) return false;
    }
    // Memory may be mapped and protected, never made executable: a decoder
    // that was subverted cannot bring in code of its own that way.
    for (const int call : {SCMP_SYS(mmap), SCMP_SYS(mprotect)}) {
        if (seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 1,
                             SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)) != 0) {
            return false;
        }
    }
    // Decoders may start threads (the WebP one does), never processes: a
    // clone must share the process, and clone3, whose flags a filter
    // cannot see, says it does not exist, so that the C library falls
    // back to clone.
    if (seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(clone), 1,
                         SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD)) != 0 ||
        seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) != 0) {
        return false;
    }
    // The AV1 decoder asks which processors it may run on, and complains on
    // standard error at every picture when refused.
    if (seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(sched_getaffinity), 0) != 0) return false;
    // abort() signals its own process, and no other.
    return seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(tgkill), 1,
                            SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(::getpid()), 0)) == 0;
}

bool allow_reading_files(scmp_filter_ctx filter) {
    constexpr scmp_datum_t writing = O_ACCMODE | O_CREAT | O_TRUNC | O_TMPFILE;
    // The stack's size is asked alongside, and only asked.
    return seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(getrlimit), 0) == 0 &&
           seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(prlimit64), 1,
                            SCMP_A2(SCMP_CMP_EQ, 0, 0)) == 0 &&
           seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(openat), 1,
                            SCMP_A2(SCMP_CMP_MASKED_EQ, writing, O_RDONLY)) == 0 &&
           seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(open), 1,
                            SCMP_A1(SCMP_CMP_MASKED_EQ, writing, O_RDONLY)) == 0;
}

} // namespace

bool confine_system_calls(bool runtime_reads_files) {
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
    const filter_context filter(seccomp_init(SCMP_ACT_ERRNO(EPERM)), &seccomp_release);
    if (!filter) return false;
    if (runtime_reads_files && !allow_reading_files(filter.get())) return false;
    return allow_all(filter.get()) && seccomp_load(filter.get()) == 0;
}

} // namespace quorin::host::os
