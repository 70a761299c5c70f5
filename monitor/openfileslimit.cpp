#include "monitor/openfileslimit.h"

#include <sys/resource.h>

namespace {

constexpr rlim_t unlimitedSoftLimit = 65536;

} // namespace

int64_t OpenFilesLimit::raiseToHard()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    const rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? unlimitedSoftLimit : limit.rlim_max;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= wanted)
        return current();
    limit.rlim_cur = wanted;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    return current();
}

int64_t OpenFilesLimit::current()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    return limit.rlim_cur == RLIM_INFINITY ? INT64_MAX : int64_t(limit.rlim_cur);
}
