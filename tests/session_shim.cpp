#include "session_shim.h"

#include <memory>

namespace quexal::test {

QxSession* shimSession() {
    static const std::unique_ptr<QxSession, void (*)(QxSession*)> session(qx_session_create(),
                                                                          qx_session_destroy);
    return session.get();
}

}  // namespace quexal::test
