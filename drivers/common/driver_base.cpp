#include "common/driver_base.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "common/driver_server.h"

namespace spectrino::drivers {

std::atomic<int>& ServerReferences() {
    static std::atomic<int> references{0};
    return references;
}

DriverBase::DriverBase(const platform::CLSID& classId, const char* name)
    : classId_(classId), name_(name) {}

DriverBase::~DriverBase() = default;

platform::HRESULT DriverBase::QueryInterface(const platform::IID& iid, void** object) {
    return QueryDriverInterface(static_cast<IASIO*>(this), classId_, iid, object);
}

uint32_t DriverBase::AddRef() {
    return references_.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32_t DriverBase::Release() {
    const uint32_t left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        delete this;
    }
    return left;
}

void DriverBase::getDriverName(char* name) {
    std::snprintf(name, 32, "%s", name_);
}

void DriverBase::getErrorMessage(char* text) {
    const std::lock_guard lock(errorMutex_);
    std::snprintf(text, 124, "%s", errorMessage_.c_str());
}

void DriverBase::SetError(const std::string& text) {
    const std::lock_guard lock(errorMutex_);
    errorMessage_ = text;
}

ASIOError DriverBase::getLatencies(int32_t* inputLatency, int32_t* outputLatency) {
    if (inputLatency == nullptr || outputLatency == nullptr) {
        return ASE_InvalidParameter;
    }
    *inputLatency = inputLatency_.load();
    *outputLatency = outputLatency_.load();
    return ASE_OK;
}

ASIOError DriverBase::getSampleRate(ASIOSampleRate* sampleRate) {
    if (sampleRate == nullptr) {
        return ASE_InvalidParameter;
    }
    *sampleRate = sampleRate_.load();
    return ASE_OK;
}

ASIOError DriverBase::getClockSources(ASIOClockSource* clocks, int32_t* numSources) {
    if (clocks == nullptr || numSources == nullptr || *numSources < 1) {
        return ASE_InvalidParameter;
    }
    *clocks = ASIOClockSource{0, -1, -1, ASIOTrue, {}};
    std::snprintf(clocks->name, sizeof clocks->name, "Internal");
    *numSources = 1;
    return ASE_OK;
}

ASIOError DriverBase::setClockSource(int32_t reference) {
    return reference == 0 ? ASE_OK : ASE_InvalidParameter;
}

ASIOError DriverBase::getSamplePosition(ASIOSamples* samplePosition, ASIOTimeStamp* timeStamp) {
    if (samplePosition == nullptr || timeStamp == nullptr) {
        return ASE_InvalidParameter;
    }
    if (!running_.load()) {
        return ASE_SPNotAdvancing;
    }
    *samplePosition = Int64ToASIOSamples(samplePosition_.load());
    *timeStamp = Int64ToASIOSamples(systemTime_.load());
    return ASE_OK;
}

ASIOError DriverBase::outputReady() {
    return ASE_OK;
}

int64_t DriverBase::NowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool DriverBase::ValidBufferInfos(const ASIOBufferInfo* infos, int32_t count, int32_t inputs,
                                  int32_t outputs) {
    if (count < 0 || (infos == nullptr && count > 0)) {
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        const bool isInput = infos[i].isInput != ASIOFalse;
        const int32_t channel = infos[i].channelNum;
        if (channel < 0 || channel >= (isInput ? inputs : outputs)) {
            return false;
        }
        for (int32_t j = 0; j < i; ++j) {
            if ((infos[j].isInput != ASIOFalse) == isInput && infos[j].channelNum == channel) {
                return false;
            }
        }
    }
    return true;
}

bool DriverBase::WantsTimeInfo(const ASIOCallbacks& callbacks) {
    return callbacks.asioMessage != nullptr &&
           callbacks.asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr) == 1;
}

ASIOError DriverBase::DescribeChannel(ASIOChannelInfo* info, int32_t inputs, int32_t outputs,
                                      int32_t sampleType,
                                      const std::vector<ChannelBuffer>& buffers) {
    if (info == nullptr) {
        return ASE_InvalidParameter;
    }
    const bool isInput = info->isInput != ASIOFalse;
    if (info->channel < 0 || info->channel >= (isInput ? inputs : outputs)) {
        return ASE_InvalidParameter;
    }
    info->isActive =
        FindChannelBuffer(buffers, isInput, info->channel) != nullptr ? ASIOTrue : ASIOFalse;
    info->channelGroup = 0;
    info->type = sampleType;
    std::memset(info->name, 0, sizeof info->name);
    std::snprintf(info->name, sizeof info->name, "%s %d", isInput ? "In" : "Out",
                  static_cast<int>(info->channel) + 1);
    return ASE_OK;
}

ASIOError DriverBase::OneBufferSize(int32_t size, int32_t* minSize, int32_t* maxSize,
                                    int32_t* preferredSize, int32_t* granularity) {
    if (minSize == nullptr || maxSize == nullptr || preferredSize == nullptr ||
        granularity == nullptr) {
        return ASE_InvalidParameter;
    }
    *minSize = *maxSize = *preferredSize = size;
    *granularity = 0;
    return ASE_OK;
}

void DriverBase::SwitchBuffers(const ASIOCallbacks& callbacks, bool timeInfo, int half, double rate,
                               int64_t now) {
    systemTime_.store(now);
    if (timeInfo && callbacks.bufferSwitchTimeInfo != nullptr) {
        ASIOTime time{};
        time.timeInfo.speed = 1.0;
        time.timeInfo.systemTime = Int64ToASIOSamples(now);
        time.timeInfo.samplePosition = Int64ToASIOSamples(samplePosition_.load());
        time.timeInfo.sampleRate = rate;
        time.timeInfo.flags =
            kSystemTimeValid | kSamplePositionValid | kSampleRateValid | kSpeedValid;
        callbacks.bufferSwitchTimeInfo(&time, half, ASIOTrue);
    } else if (callbacks.bufferSwitch != nullptr) {
        callbacks.bufferSwitch(half, ASIOTrue);
    }
}

}  // namespace spectrino::drivers
