#include "store/SourceIdentification.h"

#include <utility>

namespace k72 {

SourceIdentification::SourceIdentification(std::vector<std::filesystem::path> sources)
    : sources_(std::move(sources)), identities_(sources_.size()) {
    if (sources_.empty()) {
        return;
    }
    thread_ = std::thread([this] {
        for (std::size_t i = 0; i < sources_.size() && !stop_.load(); ++i) {
            // The stamp before the hash: a file changed while it is read then fails the next look at it
            // instead of being taken for what was converted.
            const std::optional<FileStamp> stamp = StampOfFile(sources_[i]);
            std::optional<std::string> hash = stamp ? HashOfFile(sources_[i], &stop_) : std::nullopt;
            if (hash) {
                identities_[i] = SourceIdentity{SourcePathKey(sources_[i]), *stamp, std::move(*hash)};
            }
        }
    });
}

SourceIdentification::~SourceIdentification() {
    stop_.store(true);
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::vector<std::optional<SourceIdentity>> SourceIdentification::Take() {
    if (thread_.joinable()) {
        thread_.join();
    }
    return std::move(identities_);
}

} // namespace k72
