#pragma once
// httplib's servers, with the reading of each request's head bounded: at
// most kMaxHeadBytes before the blank line that ends the headers, and at most
// kHeadDeadlineMs to send them. (The library bounds one header line, not
// their number: a client could otherwise send headers without end, and a
// slow one could hold a thread as long as it trickles.) The connection
// handling is otherwise the library's: keep-alive, the same request
// processing, its thread pool.
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace web {

struct HeadBounds {
    size_t maxHeadBytes = 32 * 1024;
    int headDeadlineMs = 20000;
};

std::unique_ptr<httplib::Server> MakeServer(HeadBounds bounds);
// Nothing (and the reason) when the certificate or the key does not load.
std::unique_ptr<httplib::Server> MakeTlsServer(const std::string& certificate, const std::string& key,
                                               HeadBounds bounds, std::string* error);

}  // namespace web
