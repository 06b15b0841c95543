#include "nginx_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

const char* const kModule = "/usr/lib/nginx/modules/ngx_rtmp_module.so";

bool portAccepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

}  // namespace

int freeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

std::string runCommand(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        if (status) *status = -1;
        return out;
    }
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
    const int rc = pclose(pipe);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

NginxRtmpPeer::NginxRtmpPeer(std::string folder, std::vector<std::string> apps)
    : folder_(std::move(folder)), apps_(std::move(apps)) {
    fs::remove_all(folder_);
    fs::create_directories(folder_ + "/logs");
    for (const auto& app : apps_) {
        fs::create_directories(recordFolder(app));
        // The worker may run as an unprivileged user.
        chmod(recordFolder(app).c_str(), 0777);
    }
    port_ = freeLoopbackPort();
}

NginxRtmpPeer::~NginxRtmpPeer() {
    stop();
}

std::string NginxRtmpPeer::url(const std::string& app) const {
    return "rtmp://127.0.0.1:" + std::to_string(port_) + "/" + app;
}

std::string NginxRtmpPeer::recordFolder(const std::string& app) const {
    return folder_ + "/rec-" + app;
}

std::string NginxRtmpPeer::errorLog() const {
    std::ifstream in(folder_ + "/logs/error.log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> NginxRtmpPeer::recordings(const std::string& app) const {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(recordFolder(app))) {
        if (entry.path().extension() == ".flv") files.push_back(entry.path().string());
    }
    // Unique names carry the start time in seconds; ties keep creation order by name.
    std::sort(files.begin(), files.end());
    return files;
}

bool NginxRtmpPeer::start() {
    if (access(kModule, R_OK) != 0) {
        error_ = std::string("the RTMP module is not installed: ") + kModule;
        return false;
    }
    const std::string conf = folder_ + "/nginx.conf";
    {
        std::ofstream out(conf);
        out << "load_module " << kModule << ";\n"
            << "daemon off;\nmaster_process off;\n"
            << "pid " << folder_ << "/nginx.pid;\n"
            << "error_log " << folder_ << "/logs/error.log debug;\n"
            << "events { worker_connections 64; }\n"
            << "rtmp {\n  server {\n    listen 127.0.0.1:" << port_ << ";\n    chunk_size 4096;\n";
        for (const auto& app : apps_) {
            out << "    application " << app << " { live on; record all; record_unique on; record_path "
                << recordFolder(app) << "; }\n";
        }
        out << "  }\n}\n";
    }
    std::fflush(stdout);  // the child must not repeat what is still buffered
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        // Keep the child's output away from the test's.
        freopen("/dev/null", "w", stdout);
        freopen((folder_ + "/logs/stderr.log").c_str(), "a", stderr);
        execl("/usr/sbin/nginx", "nginx", "-p", folder_.c_str(), "-c", conf.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid < 0) {
        error_ = "fork failed";
        return false;
    }
    pid_ = pid;
    for (int i = 0; i < 100; ++i) {
        if (portAccepts(port_)) return true;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = 0;
            error_ = "nginx exited at start; see " + folder_ + "/logs";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error_ = "nginx did not open its port";
    kill();
    return false;
}

void NginxRtmpPeer::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
}

void NginxRtmpPeer::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGQUIT);  // graceful shutdown: open recordings are closed
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = 0;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill();
}

std::vector<std::string> NginxRtmpPeer::publisherLogLines(const std::string& key) const {
    const std::string log = errorLog();
    std::istringstream in(log);
    std::string line, client;
    std::vector<std::string> lines;
    while (std::getline(in, line)) {
        if (client.empty() && line.find("publish: name='" + key + "'") != std::string::npos) {
            const auto star = line.find(" *");
            client = line.substr(star, line.find(' ', star + 2) - star);
        }
    }
    if (client.empty()) return lines;
    std::istringstream again(log);
    while (std::getline(again, line)) {
        if (line.find(client + " ") != std::string::npos) lines.push_back(line);
    }
    return lines;
}

int firstLineWith(const std::vector<std::string>& lines, const std::string& text) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(text) != std::string::npos) return int(i);
    }
    return -1;
}
