#include "remote/remote_server.h"

std::string RemoteServer::start(int, bool, const std::string&) {
    stop();
    return "Remote control is not available in this version";
}
