#include "support/checked_requests.h"

#include "support/fake_host.h"
#include "support/versioned_images.h"

namespace quorin::test {
namespace {

struct job {
    const request_plan& plan;
    std::string violation;
    bool from_cache = false;
};

std::string describe(const request_plan& plan) {
    return "image " + std::to_string(plan.image) + " version " + std::to_string(plan.version) +
           (plan.keyed   ? " keyed "
            : plan.timed ? " direct "
                         : " direct untimed ") +
           (plan.head ? "HEAD" : "GET");
}

bool nothing_sent(const recorded_response& response) {
    return response.header_calls == 0 && response.body.empty() && response.write_sizes.empty();
}

// The invariant on a finished request; empty when it held.
std::string check_answer(const request_plan& plan, HRESULT result,
                         const recorded_response& response) {
    if (result != S_OK) {
        if (result != E_FAIL) return "result neither S_OK nor E_FAIL";
        return nothing_sent(response) ? "" : "E_FAIL after sending";
    }
    if (response.header_calls != 1)
        return "S_OK with " + std::to_string(response.header_calls) + " header blocks";
    if (response.status != "200 OK") return "status " + response.status;
    if (header_value(response.header_block, "Content-Type") != "image/png")
        return "wrong Content-Type";
    const auto length = header_value(response.header_block, "Content-Length");
    if (!length) return "no Content-Length";

    int version = plan.version;
    if (plan.keyed || plan.timed) {
        const auto named = version_named_by(response.header_block);
        if (!named) return "no Last-Modified naming a version";
        if (*named != plan.version) {
            return "answered version " + std::to_string(*named) + " for a source at that version";
        }
        version = *named;
    } else if (header_value(response.header_block, "Last-Modified")) {
        return "Last-Modified without a time";
    }
    const std::string expected = conversion_of(plan.image, version);
    if (plan.head) {
        if (!response.body.empty()) return "body sent for HEAD";
        if (*length != std::to_string(expected.size())) return "HEAD Content-Length " + *length;
        return {};
    }
    if (*length != std::to_string(response.body.size())) {
        return "Content-Length " + *length + " but " + std::to_string(response.body.size()) +
               " body bytes";
    }
    if (response.body != expected) return "body differs from the conversion of the named version";
    return {};
}

// The host's converter: name the entry, try the cache, else convert and
// hand the bytes over.
HRESULT convert(job& work, NTrelvaneModule::IImageOutputCached& output,
                const recorded_response& response) {
    const request_plan& plan = work.plan;
    const FILETIME time = source_time_of(plan.version);
    const std::u16string key = plan.key.value_or(key_of(plan.image));
    output.SetCacheKey(key.c_str(), &time);
    if (output.OutputFromCache() == S_OK) {
        work.from_cache = true;
        return S_OK;
    }
    if (!nothing_sent(response)) work.violation = "OutputFromCache sent, then failed";
    FIMEMORY stream{conversion_of(plan.image, plan.version)};
    return output.Output(&stream);
}

recorded_response& response_of(EXTENSION_CONTROL_BLOCK* request) {
    return *static_cast<recorded_response*>(request->ConnID);
}

bool keyed_next(EXTENSION_CONTROL_BLOCK* request, std::uint64_t address, std::uint64_t,
                std::uint64_t, NTrelvaneModule::IImageOutputCached* output) {
    job& work = *reinterpret_cast<job*>(address);
    const HRESULT result = convert(work, *output, response_of(request));
    if (work.violation.empty())
        work.violation = check_answer(work.plan, result, response_of(request));
    return result == S_OK;
}

bool direct_next(EXTENSION_CONTROL_BLOCK* request, std::uint64_t address, std::uint64_t,
                 std::uint64_t, NTrelvaneModule::IImageOutputWithTimeCached* output) {
    job& work = *reinterpret_cast<job*>(address);
    const FILETIME time = source_time_of(work.plan.version);
    if (work.plan.timed) output->SetTime(&time);
    FIMEMORY stream{conversion_of(work.plan.image, work.plan.version)};
    const HRESULT result =
        static_cast<NTrelvaneModule::IImageOutputWithTime*>(output)->Output(&stream);
    work.violation = check_answer(work.plan, result, response_of(request));
    return result == S_OK;
}

} // namespace

checking_converter::checking_converter()
    : previous_next_(OnConvertNext), previous_with_time_next_(OnConvertWithTimeNext),
      previous_library_(FreeImageAPI) {
    OnConvertNext = &keyed_next;
    OnConvertWithTimeNext = &direct_next;
    FreeImageAPI = fake_image_table();
}

checking_converter::~checking_converter() {
    OnConvertNext = previous_next_;
    OnConvertWithTimeNext = previous_with_time_next_;
    FreeImageAPI = previous_library_;
}

request_outcome run_checked_request(const request_plan& plan) {
    job work{plan, {}, false};
    fake_request request(plan.head ? "HEAD" : "GET");
    const auto address = reinterpret_cast<std::uint64_t>(&work);
    const bool answered = plan.keyed ? OnConvert(request.record(), address, 0, 0)
                                     : OnConvertWithTime(request.record(), address, 0, 0);
    request_outcome outcome{answered, work.from_cache, std::move(work.violation)};
    if (!outcome.violation.empty()) outcome.violation = describe(plan) + ": " + outcome.violation;
    return outcome;
}

void answer_tally::add(const request_outcome& outcome) {
    ++checked;
    ++(outcome.answered ? answered : refused);
    if (outcome.from_cache) ++from_cache;
    if (!outcome.violation.empty()) {
        const std::lock_guard lock(mutex_);
        violations_.push_back(outcome.violation);
    }
}

std::vector<std::string> answer_tally::violations() const {
    const std::lock_guard lock(mutex_);
    return violations_;
}

} // namespace quorin::test
