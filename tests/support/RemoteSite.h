#pragma once

// A remote site for tests inside tools/lan/lan-run --site: an sshd on the site's jump host
// ("site", 203.0.113.254) that runs commands with this build's quillonctl, and QUILLON_SSH set
// to the ssh that reaches it with a throwaway key. The site's own LAN is the host "site-lan".

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace quillon::test {

class RemoteSite {
public:
    RemoteSite() : dir_(std::string("/tmp/quillon-site-") + std::to_string(::getpid()))
    {
        ready_ = std::system((std::string(QUILLON_REMOTE_SITE) + " " + dir_).c_str()) == 0;
        ::setenv("QUILLON_SSH", (dir_ + "/ssh").c_str(), 1);
    }
    ~RemoteSite() { (void)std::system((std::string(QUILLON_REMOTE_SITE) + " stop " + dir_).c_str()); }
    RemoteSite(const RemoteSite&) = delete;
    RemoteSite& operator=(const RemoteSite&) = delete;

    bool IsReady() const { return ready_; }
    const std::string& Dir() const { return dir_; }

    // The site stops or starts taking our key (the file is read at every login).
    void RefuseOurKey(bool refuse) const
    {
        const std::string keys = dir_ + "/authorized_keys";
        if (refuse) {
            std::ofstream(keys, std::ios::trunc).flush();
            return;
        }
        std::ifstream ours(dir_ + "/user_key.pub");
        std::ofstream(keys, std::ios::trunc) << ours.rdbuf();
    }

private:
    std::string dir_;
    bool ready_ = false;
};

} // namespace quillon::test
