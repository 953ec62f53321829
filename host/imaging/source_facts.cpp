#include "imaging/source_facts.h"

#include "imaging/image_codec.h"

namespace quorin::host {

source_facts read_source_facts(const os::read_only_file& source) {
    source_facts facts;
    facts.format = readable_format(source);
    if (facts.format) facts.header = read_header(source, *facts.format);
    return facts;
}

source_facts source_facts_memo::of(const os::read_only_file& source,
                                   const os::file_identity& identity,
                                   std::chrono::system_clock::time_point now) {
    if (auto known = memo_.find(identity)) return *known;
    const source_facts facts = read_source_facts(source);
    memo_.remember(identity, facts, now);
    return facts;
}

} // namespace quorin::host
