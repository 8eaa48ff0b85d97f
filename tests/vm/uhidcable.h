#pragma once

#include "simulator/metersimulator.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

// The meter's USB interface cable made through the kernel's /dev/uhid: a HID
// device called "USB to Serial" with the cable's report layout (8-byte input
// reports, a 9-byte feature report, no report IDs) that takes the program's
// set-up report and carries a simulated meter's frames as input reports.
// Like the real cable it reports every 10 ms, without payload while it has
// nothing to play.
// Plugging it in and pulling it out are creating and destroying the device.
class UhidCable
{
public:
    static constexpr const char *ProductName = "USB to Serial";
    static constexpr int ReportPauseMs = 10;   // the cable reports every 10 ms

    // `frameLog` gets one line per frame that went out whole, as hex; it may
    // be null.
    UhidCable(const QString &scenario, std::FILE *frameLog);
    ~UhidCable();
    UhidCable(const UhidCable &) = delete;
    UhidCable &operator=(const UhidCable &) = delete;

    // False with a reason when /dev/uhid cannot be opened.
    bool isAvailable() const { return m_fd >= 0; }
    QString errorString() const { return m_error; }

    // Plugs the cable in and waits until the kernel has started the device.
    bool create();
    // The hidraw node of the cable while it is plugged in ("/dev/hidraw3"),
    // once the system has made it; empty when it has not within `timeoutMs`.
    QString hidrawNode(int timeoutMs) const;
    // Pulls it: stops playing, mid-frame if need be, and destroys the device.
    bool destroy();
    bool isCreated() const { return m_created; }

    // Queues `frames` simulator frames (-1: until stopped), one report every
    // `pauseMs`, with reports without payload to fill `frameIntervalMs` from
    // one frame to the next.
    void play(long long frames, int frameIntervalMs, int pauseMs);
    // Queues reports without payload for `milliseconds`.
    void idle(int milliseconds, int pauseMs);
    // Drops what is queued and stops at the next report.
    void stop();
    // Waits until everything queued has gone out; false after `timeoutMs`.
    bool waitUntilPlayed(int timeoutMs);

    // The feature reports the device received since it was created, each as
    // the kernel handed it over.
    QList<QByteArray> featureReports() const;
    // Whether a program holds the device's node open, as the kernel says.
    bool isOpened() const { return m_opened; }
    long long framesSent() const { return m_framesSent; }

private:
    static QByteArray physicalPlace();
    struct Job
    {
        long long frames = 0;   // 0: reports without payload only
        int idleMs = 0;
        int frameIntervalMs = 0;
        int pauseMs = ReportPauseMs;
    };

    bool write(const void *event);
    bool sendReport(const HidReport &report);
    void serveEvents();
    void runPlayer();
    bool runJob(const Job &job);
    bool pause(int milliseconds);

    int m_fd = -1;
    QString m_error;
    std::FILE *m_frameLog = nullptr;
    MeterSimulator m_meter;

    std::mutex m_writeMutex;
    std::atomic<bool> m_created{false};
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_opened{false};
    std::atomic<long long> m_framesSent{0};
    mutable std::mutex m_featureMutex;
    QList<QByteArray> m_features;
    QByteArray m_lastFeature;

    std::mutex m_jobMutex;
    std::condition_variable m_jobChanged;
    std::deque<Job> m_jobs;
    bool m_playing = false;
    bool m_stopRequested = false;
    bool m_quit = false;

    std::atomic<bool> m_closing{false};
    std::thread m_eventThread;
    std::thread m_playerThread;
};
