#include "publish/messagepublisher.h"

// A build without the MQTT library: nothing to publish with.
std::unique_ptr<MessagePublisher> createMessagePublisher(qsizetype)
{
    return nullptr;
}
