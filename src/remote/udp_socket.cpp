#include "remote/udp_socket.h"

bool isHiddenIpv4(const std::string& dotted) {
    return dotted.rfind("127.", 0) == 0 || dotted.rfind("169.254.", 0) == 0;
}
