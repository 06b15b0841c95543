#include "live/flv.h"

std::vector<uint8_t> appendAndTake(std::vector<uint8_t> head, const uint8_t* bytes, size_t length) {
    if (length > 0) head.insert(head.end(), bytes, bytes + length);
    return head;
}

std::vector<uint8_t> flvAacSequenceHeader(const std::vector<uint8_t>& audioSpecificConfig) {
    std::vector<uint8_t> head;
    head.reserve(2 + audioSpecificConfig.size());
    head.push_back(kFlvAacHeader);
    head.push_back(0x00);
    return appendAndTake(std::move(head), audioSpecificConfig.data(), audioSpecificConfig.size());
}

std::vector<uint8_t> flvAacFrame(const uint8_t* frame, size_t length) {
    std::vector<uint8_t> head;
    head.reserve(2 + length);
    head.push_back(kFlvAacHeader);
    head.push_back(0x01);
    return appendAndTake(std::move(head), frame, length);
}
