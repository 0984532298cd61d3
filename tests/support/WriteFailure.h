#pragma once
// Makes every write of a file fail, as a full disk would, until lifted: a file-size limit of a few
// bytes, with the signal that would end the process ignored so that the write reports EFBIG.

#include <signal.h>
#include <sys/resource.h>

namespace talvero::test {

class WriteFailure {
public:
    WriteFailure() {
        ::getrlimit(RLIMIT_FSIZE, &Old);
        OldHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = Old;
        tiny.rlim_cur = 4;
        ::setrlimit(RLIMIT_FSIZE, &tiny);
    }
    ~WriteFailure() { Lift(); }
    WriteFailure(const WriteFailure&) = delete;
    WriteFailure& operator=(const WriteFailure&) = delete;

    void Lift() {
        if (Lifted) return;
        Lifted = true;
        ::setrlimit(RLIMIT_FSIZE, &Old);
        ::signal(SIGXFSZ, OldHandler);
    }

private:
    rlimit Old{};
    sighandler_t OldHandler = SIG_DFL;
    bool Lifted = false;
};

} // namespace talvero::test
