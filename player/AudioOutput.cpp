#include "AudioOutput.h"

#include "BoundedQueue.h"
#include "Worker.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QEventLoop>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace {

constexpr char picturesOnly[] = ": playing pictures only.";

// How often the audio thread looks at what the player wants, feeds the
// device and asks it where it plays: pause and flush take effect within it.
constexpr std::chrono::milliseconds syncInterval{5};

} // namespace

// Float frames from the playback queue, in the device's own sample format.
// Outside the anonymous namespace: the audio thread, declared in the header,
// holds one.
class SampleWriter {
public:
    explicit SampleWriter(const QAudioFormat& format) : format(format) {}

    // Takes frames frames from the queue and writes them to the device.
    void write(AudioPlayback& playback, QIODevice& device, int64_t frames) {
        const size_t count = static_cast<size_t>(frames) * format.channelCount();
        samples.resize(count);
        playback.pull(samples.data(), frames);
        bytes.resize(static_cast<size_t>(frames) * format.bytesPerFrame());
        char* data = bytes.data();
        switch (format.sampleFormat()) {
        case QAudioFormat::Float:
            std::copy_n(samples.data(), count, reinterpret_cast<float*>(data));
            break;
        case QAudioFormat::Int32:
            for (size_t i = 0; i < count; ++i) {
                reinterpret_cast<int32_t*>(data)[i] =
                    static_cast<int32_t>(std::lround(clip(samples[i]) * 2147483647.0));
            }
            break;
        case QAudioFormat::UInt8:
            for (size_t i = 0; i < count; ++i) {
                reinterpret_cast<uint8_t*>(data)[i] =
                    static_cast<uint8_t>(std::lround(128.0 + clip(samples[i]) * 127.0));
            }
            break;
        default:
            for (size_t i = 0; i < count; ++i) {
                reinterpret_cast<int16_t*>(data)[i] =
                    static_cast<int16_t>(std::lround(clip(samples[i]) * 32767.0));
            }
            break;
        }
        device.write(data, static_cast<qint64>(bytes.size()));
    }

private:
    static double clip(float sample) { return std::clamp(static_cast<double>(sample), -1.0, 1.0); }

    const QAudioFormat format;
    std::vector<float> samples;
    std::vector<char> bytes;
};

namespace {

bool usableFormat(const QAudioFormat& format) {
    const auto sampleFormat = format.sampleFormat();
    return format.sampleRate() >= 8000 && format.sampleRate() <= 384000 &&
           format.channelCount() >= 1 && format.channelCount() <= 32 &&
           (sampleFormat == QAudioFormat::Int16 || sampleFormat == QAudioFormat::Int32 ||
            sampleFormat == QAudioFormat::Float || sampleFormat == QAudioFormat::UInt8);
}

} // namespace

// The audio thread: opens the device, then runs an event loop in which a
// timer keeps the device in line with the player every few milliseconds.
// Other threads never call into it through Qt: they change the playback
// queue's state under its lock, and the timer picks the change up.
class AudioThread final {
public:
    struct Opened {
        std::string failure; // empty when the device is open
        QAudioFormat format;
    };

    explicit AudioThread(AudioOutput& output) : output(output) {
        // A stop also ends the wait for what to play.
        worker.setInterrupt([this] { attached.close(); });
    }
    ~AudioThread() { worker.stop(); }

    void start() {
        worker.start([this] { run(); });
    }
    // The device opened or not, once the thread has tried; empty when it
    // did not say within the timeout.
    std::optional<Opened> opened(std::chrono::milliseconds timeout) {
        std::optional<BoundedQueue<Opened>::Entry> entry = openedBox.getFor(timeout);
        if (!entry)
            return std::nullopt;
        return std::move(entry->item);
    }
    // Once, after the device opened or not: what to play, or null to end.
    void attach(AudioPlayback* playing) { attached.put(playing); }
    // A device that failed starts again with the next sound.
    void retry() { retryWanted = true; }

private:
    void run() {
        Opened result = open();
        const bool isOpen = result.failure.empty();
        openedBox.put(std::move(result));
        std::optional<BoundedQueue<AudioPlayback*>::Entry> entry = attached.get();
        playback = entry ? entry->item : nullptr;
        if (!isOpen || playback == nullptr) {
            return;
        }
        writer = std::make_unique<SampleWriter>(format);
        QEventLoop loop;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this, &loop] {
            if (worker.stopRequested())
                loop.quit();
            else
                sync();
        });
        timer.start(syncInterval);
        loop.exec();
        timer.stop();
        syncing = true;
        sink.reset();
        retired.clear();
    }

    Opened open() {
        device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) {
            return {std::string("No audio output device") + picturesOnly, {}};
        }
        format = device.preferredFormat();
        if (!usableFormat(format)) {
            return {std::string("The audio output device offers no usable format") + picturesOnly,
                    {}};
        }
        return {{}, format};
    }

    void sync() {
        // Qt's sink may run the event loop while it stops, and so call this again.
        if (syncing || (failed && !retryWanted.exchange(false))) {
            return;
        }
        failed = false;
        syncing = true;
        syncDevice();
        syncing = false;
    }

    // Restarts the device after a flush, starts it when there is sound,
    // suspends and resumes it, feeds it, and reports where it plays.
    void syncDevice() {
        deleteRetired();
        const AudioPlayback::Demand demand = playback->demand();
        if (running && startedGeneration != demand.generation) {
            stop();
        }
        if (!running && demand.startable && !demand.paused) {
            // A new sink for every start, so that nothing of the last one
            // (what it held, its count of played time) carries over.
            sink = std::make_unique<QAudioSink>(device, format);
            playback->deviceStarted(demand.generation);
            input = sink->start();
            if (input == nullptr || sink->error() != QAudio::NoError) {
                fail(std::string("The audio output device failed to start") + picturesOnly);
                return;
            }
            running = true;
            suspended = false;
            played = false;
            startedGeneration = demand.generation;
        }
        if (!running) {
            return;
        }
        if (demand.paused != suspended) {
            if (demand.paused) {
                sink->suspend();
            } else {
                sink->resume();
            }
            suspended = demand.paused;
        }
        if (sink->error() == QAudio::FatalError || sink->error() == QAudio::OpenError) {
            fail(std::string("The audio output device stopped working") + picturesOnly);
            return;
        }
        if (!suspended) {
            // What is queued, as far as the device has room: it then holds
            // about its own latency's worth. Pushed rather than pulled:
            // restarted pulled sinks played 20 to 50 ms behind their own
            // clock on PulseAudio, pushed ones did not.
            const int64_t frames =
                playback->framesToFeed(sink->bytesFree() / format.bytesPerFrame());
            if (frames > 0) {
                writer->write(*playback, *input, frames);
            }
        }
        // On PulseAudio this is the stream's playing time: what the device has
        // taken less what it still holds, interpolated by the sound server.
        const int64_t heard = sink->processedUSecs() * playback->sampleRate / 1000000;
        playback->reportPlayed(heard);
        if (heard > 0 && !played) {
            played = true;
            output.devicePlays();
        }
    }

    void stop() {
        running = false;
        input = nullptr;
        // Stopped now, deleted a while later: Qt 6.4's PulseAudio thread may
        // still be inside a call into a sink that has just stopped, and a
        // sink deleted at once crashed the player about once an hour under
        // a restless user.
        sink->stop();
        retired.push_back({std::move(sink), std::chrono::steady_clock::now() + kRetiredFor});
        playback->deviceStopped();
    }

    void deleteRetired() {
        const auto now = std::chrono::steady_clock::now();
        std::erase_if(retired, [now](const Retired& r) { return r.until <= now; });
    }

    void fail(const std::string& why) {
        stop();
        failed = true;
        output.deviceFailed(why);
    }

    AudioOutput& output;
    Worker worker;
    BoundedQueue<Opened> openedBox{1};
    BoundedQueue<AudioPlayback*> attached{1};

    // The thread's own.
    AudioPlayback* playback = nullptr;
    QAudioDevice device;
    QAudioFormat format;
    std::unique_ptr<QAudioSink> sink;
    struct Retired {
        std::unique_ptr<QAudioSink> sink;
        std::chrono::steady_clock::time_point until;
    };
    static constexpr std::chrono::seconds kRetiredFor{2};
    std::vector<Retired> retired; // stopped sinks, deleted after kRetiredFor
    std::unique_ptr<SampleWriter> writer;
    // The sink's own device, written to in push mode.
    QIODevice* input = nullptr;
    bool syncing = false;
    bool running = false;
    bool suspended = false;
    bool failed = false;
    bool played = false; // the sink started last has played
    uint64_t startedGeneration = 0;
    std::atomic<bool> retryWanted{false};
};

AudioOutput::AudioOutput(bool useDevice) {
    if (!useDevice) {
        setNotice(std::string("Sound is off") + picturesOnly);
        return;
    }
    thread = std::make_unique<AudioThread>(*this);
    thread->start();
    const std::optional<AudioThread::Opened> opened =
        thread->opened(std::chrono::milliseconds(openTimeoutMs));
    if (!opened) {
        setNotice(std::string("The audio output device did not answer") + picturesOnly);
        thread->attach(nullptr);
        return;
    }
    const AudioThread::Opened& device = *opened;
    if (!device.failure.empty()) {
        setNotice(device.failure);
        thread->attach(nullptr);
        return;
    }
    playback = std::make_unique<AudioPlayback>(device.format.sampleRate(),
                                               device.format.channelCount(), time);
    thread->attach(playback.get());
    isAvailable = true;
}

AudioOutput::~AudioOutput() {
    // Stops and joins the audio thread before the queue it plays goes.
    thread.reset();
}

std::string AudioOutput::takeNotice() {
    const std::lock_guard<std::mutex> lock(noticeMutex);
    std::string taken;
    taken.swap(notice);
    return taken;
}

void AudioOutput::setNotice(const std::string& text) {
    const std::lock_guard<std::mutex> lock(noticeMutex);
    if (!noticeGiven) {
        notice = text;
        noticeGiven = true;
    }
}

void AudioOutput::setLossHandler(std::function<void(const std::string&)> handler) {
    const std::lock_guard<std::mutex> lock(noticeMutex);
    onLoss = std::move(handler);
}

void AudioOutput::deviceFailed(const std::string& why) {
    isAvailable = false;
    playback->flush();
    // Once until the device plays again: a retry that fails says nothing more.
    if (lossTold.exchange(true)) {
        return;
    }
    std::function<void(const std::string&)> handler;
    {
        const std::lock_guard<std::mutex> lock(noticeMutex);
        handler = onLoss;
    }
    if (handler) {
        handler(why);
    } else {
        setNotice(why);
    }
}

void AudioOutput::retry() {
    if (!playback || isAvailable) {
        return;
    }
    thread->retry();
    isAvailable = true;
}

void AudioOutput::write(std::vector<float> samples, double presentationTime, bool cut) {
    if (!isAvailable || samples.empty()) {
        return;
    }
    playback->write(std::move(samples), presentationTime, cut);
}

void AudioOutput::flush() {
    if (playback) {
        playback->flush();
    }
}

void AudioOutput::setPaused(bool paused) {
    isPaused = paused;
    if (!playback) {
        return;
    }
    playback->setPaused(paused);
}

void AudioOutput::setVolume(double volume) {
    volumeLevel = std::clamp(volume, 0.0, 1.0);
    if (playback) {
        playback->setVolume(volume);
    }
}

void AudioOutput::setMuted(bool muted) {
    isMuted = muted;
    if (playback) {
        playback->setMuted(muted);
    }
}

std::optional<double> AudioOutput::presentationTime() const {
    if (!isAvailable || !playback) {
        return std::nullopt;
    }
    return playback->presentationTime();
}

bool AudioOutput::clockPending() const {
    return isAvailable && playback && playback->clockPending();
}
