#include "publish/brokeraddress.h"
#include "publish/messagepublisher.h"

#include <mosquitto.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// MQTT through libmosquitto, on a thread of its own that drives the
// library's network loop: it connects, hands queued messages to the library,
// reads the broker's acknowledgements, keeps the connection alive and makes
// it again when it is lost. The library's own thread (mosquitto_loop_start)
// is not used: it gives up for good when a host name cannot be looked up,
// and sleeps out its reconnect delay where nothing can wake it, so a
// program that quits would wait for it.
//
// Threads: the caller's (publish(), status(), the waits) and the worker
// share only the members under m_mutex, and the wake flag, an atomic. The
// library is used by the worker alone; its callbacks run inside its loop
// calls on the worker. The worker never holds m_mutex while it calls the
// library, and the caller never waits for the worker except in the waits
// that are for waiting: publish() takes the lock for a queue operation and
// writes at most one byte to a pipe that never blocks.
//
// Messages go with QoS 1: the broker acknowledges each, so "delivered"
// means the broker has it, and one lost on a broken connection is sent
// again by the library after the reconnect (a subscriber may then see it
// twice; the frame number tells). At most InFlight wait for their
// acknowledgement at a time.
class MosquittoPublisher final : public MessagePublisher
{
public:
    explicit MosquittoPublisher(qsizetype capacity)
        : m_capacity(std::max<qsizetype>(1, capacity))
    { }

    ~MosquittoPublisher() override
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        wake();
        if (m_worker.joinable())
            m_worker.join();
        if (m_mosquitto)
            mosquitto_destroy(m_mosquitto);
        for (const int fd : m_wakePipe) {
            if (fd >= 0)
                ::close(fd);
        }
    }

    bool start(const BrokerAddress &broker, const QString &topic, QString *why) override
    {
        static std::once_flag initialised;
        std::call_once(initialised, [] { mosquitto_lib_init(); });
        const auto fail = [why](const QString &reason) {
            if (why)
                *why = reason;
            return false;
        };
        if (m_mosquitto)
            return fail(QStringLiteral("already publishing"));
        m_topic = topic.toUtf8();
        if (mosquitto_pub_topic_check(m_topic.constData()) != MOSQ_ERR_SUCCESS)
            return fail(QStringLiteral("\"%1\" is no topic to publish to").arg(topic));
        m_host = broker.host.toUtf8();
        m_port = broker.port;
        if (::pipe2(m_wakePipe, O_NONBLOCK | O_CLOEXEC) != 0)
            return fail(QStringLiteral("cannot make a pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        m_mosquitto = mosquitto_new(nullptr, true, this);
        if (!m_mosquitto)
            return fail(
                QStringLiteral("cannot make an MQTT client: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        if (!broker.user.isEmpty()
            && mosquitto_username_pw_set(m_mosquitto, broker.user.toUtf8().constData(),
                                         broker.password.isEmpty() ? nullptr : broker.password.toUtf8().constData())
                   != MOSQ_ERR_SUCCESS)
            return fail(QStringLiteral("the user name cannot be used"));
        mosquitto_connect_callback_set(m_mosquitto, &MosquittoPublisher::onConnect);
        mosquitto_disconnect_callback_set(m_mosquitto, &MosquittoPublisher::onDisconnect);
        mosquitto_publish_callback_set(m_mosquitto, &MosquittoPublisher::onPublish);
        mosquitto_int_option(m_mosquitto, MOSQ_OPT_TCP_NODELAY, 1);
        mosquitto_max_inflight_messages_set(m_mosquitto, InFlight);
        m_worker = std::thread(&MosquittoPublisher::run, this);
        return true;
    }

    void publish(QByteArray message) override
    {
        {
            const std::lock_guard lock(m_mutex);
            if (qsizetype(m_queue.size()) >= m_capacity) {
                m_queue.pop_front();
                ++m_dropped;
            }
            m_queue.push_back(std::move(message));
        }
        wake();
    }

    PublisherStatus status() const override
    {
        const std::lock_guard lock(m_mutex);
        PublisherStatus s;
        s.connected = m_connected;
        s.waiting = qint64(m_queue.size()) + m_inFlight;
        s.delivered = m_delivered;
        s.dropped = m_dropped;
        s.problem = m_connected ? QString() : m_problem;
        return s;
    }

    bool waitForRoom(int timeoutMs) override
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [this] { return qsizetype(m_queue.size()) < m_capacity; });
    }

    bool waitForConnection(int timeoutMs) override
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_connected; });
    }

    bool waitUntilDelivered(int timeoutMs) override
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [this] { return m_queue.empty() && m_inFlight == 0; });
    }

private:
    static constexpr int InFlight = 100;
    static constexpr int KeepAliveSeconds = 30;
    static constexpr auto FirstRetry = 500ms;
    static constexpr auto LastRetry = 10s;

    static MosquittoPublisher *self(void *object) { return static_cast<MosquittoPublisher *>(object); }

    static void onConnect(mosquitto *, void *object, int result)
    {
        MosquittoPublisher *p = self(object);
        {
            const std::lock_guard lock(p->m_mutex);
            p->m_connected = result == 0;
            if (result != 0)
                p->m_problem = QStringLiteral("the broker refused the connection: %1")
                                   .arg(QString::fromUtf8(mosquitto_connack_string(result)));
        }
        p->m_changed.notify_all();
    }

    static void onDisconnect(mosquitto *, void *object, int result)
    {
        MosquittoPublisher *p = self(object);
        {
            const std::lock_guard lock(p->m_mutex);
            p->m_connected = false;
            if (result != 0 && !p->m_stopping)
                p->m_problem = QStringLiteral("the connection to the broker was lost");
        }
        p->m_changed.notify_all();
    }

    static void onPublish(mosquitto *, void *object, int)
    {
        MosquittoPublisher *p = self(object);
        {
            const std::lock_guard lock(p->m_mutex);
            --p->m_inFlight;
            ++p->m_delivered;
        }
        p->m_changed.notify_all();
    }

    // At most one byte waits in the pipe: the worker clears the flag before
    // it looks at the queue again.
    void wake()
    {
        if (!m_wakePending.exchange(true, std::memory_order_acq_rel) && m_wakePipe[1] >= 0) {
            const char byte = 1;
            [[maybe_unused]] const ssize_t n = ::write(m_wakePipe[1], &byte, 1);
        }
    }

    void drainWakePipe()
    {
        m_wakePending.store(false, std::memory_order_release);
        char bytes[64];
        while (::read(m_wakePipe[0], bytes, sizeof bytes) > 0) { }
    }

    // Sleeps until woken or `delay` passed; false when stopping.
    bool pause(std::chrono::milliseconds delay)
    {
        pollfd wakeFd{m_wakePipe[0], POLLIN, 0};
        const auto until = std::chrono::steady_clock::now() + delay;
        for (;;) {
            {
                const std::lock_guard lock(m_mutex);
                if (m_stopping)
                    return false;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return true;
            if (::poll(&wakeFd, 1, int(left.count())) > 0)
                drainWakePipe();
        }
    }

    // Hands queued messages to the library while the broker is connected
    // and fewer than InFlight wait for their acknowledgement.
    void handOver()
    {
        std::unique_lock lock(m_mutex);
        while (m_connected && m_inFlight < InFlight && !m_queue.empty() && !m_stopping) {
            QByteArray message = std::move(m_queue.front());
            m_queue.pop_front();
            ++m_inFlight;
            lock.unlock();
            const int result = mosquitto_publish(m_mosquitto, nullptr, m_topic.constData(), int(message.size()),
                                                 message.constData(), 1, false);
            lock.lock();
            if (result == MOSQ_ERR_SUCCESS)
                continue;
            --m_inFlight;
            if (result == MOSQ_ERR_NO_CONN || result == MOSQ_ERR_CONN_LOST) {
                // Lost under our feet: first in line once the broker is back.
                m_queue.push_front(std::move(message));
                if (qsizetype(m_queue.size()) > m_capacity) {
                    m_queue.pop_back();
                    ++m_dropped;
                }
                break;
            }
            // A message the broker can never take (too large for it).
            ++m_dropped;
            m_problem = QStringLiteral("a message was refused: %1").arg(QString::fromUtf8(mosquitto_strerror(result)));
        }
        lock.unlock();
        m_changed.notify_all();
    }

    void setProblem(const QString &problem)
    {
        const std::lock_guard lock(m_mutex);
        m_connected = false;
        m_problem = problem;
    }

    QString describe(int result) const
    {
        const QString where = QStringLiteral("%1:%2").arg(QString::fromUtf8(m_host)).arg(m_port);
        if (result == MOSQ_ERR_ERRNO)
            return QStringLiteral("cannot reach the broker at %1: %2")
                .arg(where, QString::fromLocal8Bit(std::strerror(errno)));
        if (result == MOSQ_ERR_EAI)
            return QStringLiteral("cannot find the broker's host %1").arg(QString::fromUtf8(m_host));
        return QStringLiteral("cannot reach the broker at %1: %2")
            .arg(where, QString::fromUtf8(mosquitto_strerror(result)));
    }

    void run()
    {
        auto retry = std::chrono::milliseconds(FirstRetry);
        bool started = false; // a connection was tried: the library keeps where to
        bool socketUp = false;
        for (;;) {
            {
                const std::lock_guard lock(m_mutex);
                if (m_stopping)
                    break;
            }
            if (!socketUp) {
                // Looks the host up (which may take a while) and starts a
                // connection that completes in the loop below.
                const int result =
                    started ? mosquitto_reconnect_async(m_mosquitto)
                            : mosquitto_connect_async(m_mosquitto, m_host.constData(), m_port, KeepAliveSeconds);
                started = started || result != MOSQ_ERR_INVAL;
                if (result != MOSQ_ERR_SUCCESS) {
                    setProblem(describe(result));
                    if (!pause(retry))
                        break;
                    retry = std::min(retry * 2, std::chrono::milliseconds(LastRetry));
                    continue;
                }
                socketUp = true;
            }
            handOver();

            const int socket = mosquitto_socket(m_mosquitto);
            pollfd fds[2] = {{socket, short(POLLIN | (mosquitto_want_write(m_mosquitto) ? POLLOUT : 0)), 0},
                             {m_wakePipe[0], POLLIN, 0}};
            // A second at most, for the keep-alive.
            if (::poll(fds, 2, 1000) < 0 && errno != EINTR)
                break;
            if (fds[1].revents & POLLIN)
                drainWakePipe();
            int result = MOSQ_ERR_SUCCESS;
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR))
                result = mosquitto_loop_read(m_mosquitto, InFlight);
            if (result == MOSQ_ERR_SUCCESS && (fds[0].revents & POLLOUT))
                result = mosquitto_loop_write(m_mosquitto, InFlight);
            if (result == MOSQ_ERR_SUCCESS)
                result = mosquitto_loop_misc(m_mosquitto);
            if (result == MOSQ_ERR_SUCCESS) {
                if (status().connected)
                    retry = std::chrono::milliseconds(FirstRetry);
                continue;
            }
            // The connection failed or was lost: tried again after a pause
            // that grows while the broker stays away. A refusal the broker
            // gave stays the reason.
            {
                const std::lock_guard lock(m_mutex);
                if (m_connected)
                    m_problem = QStringLiteral("the connection to the broker was lost");
                else if (!m_problem.startsWith(QLatin1String("the broker refused")))
                    m_problem = describe(result);
                m_connected = false;
            }
            m_changed.notify_all();
            socketUp = false;
            if (!pause(retry))
                break;
            retry = std::min(retry * 2, std::chrono::milliseconds(LastRetry));
        }
        if (socketUp)
            mosquitto_disconnect(m_mosquitto);
    }

    const qsizetype m_capacity;
    QByteArray m_topic;
    QByteArray m_host;
    int m_port = BrokerAddress::DefaultPort;
    mosquitto *m_mosquitto = nullptr;
    int m_wakePipe[2] = {-1, -1};
    std::atomic<bool> m_wakePending{false};
    std::thread m_worker;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QByteArray> m_queue;
    int m_inFlight = 0;
    bool m_connected = false;
    bool m_stopping = false;
    qint64 m_delivered = 0;
    qint64 m_dropped = 0;
    QString m_problem = QStringLiteral("connecting");
};

} // namespace

std::unique_ptr<MessagePublisher> createMessagePublisher(qsizetype capacity)
{
    return std::make_unique<MosquittoPublisher>(capacity);
}
