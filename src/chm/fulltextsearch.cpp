#include "fulltextsearch.h"

#include "codepage.h"
#include "ftsfile.h"
#include "pagetext.h"
#include "srcode.h"

#include <iconv.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace zelbrin::chm {
namespace {

// Keys of the per-thread vocabulary start with a tag: the context.
constexpr char16_t kTitleTag = 1;
// Longest word stored, in bytes of the code page.
constexpr std::size_t kMaxWordBytes = 99;

// Interns keys (tag + folded word) into dense ids, without an allocation per key.
class Vocabulary {
public:
    std::uint32_t intern(std::u16string_view key) {
        if ((m_keys.size() + 1) * 2 > m_slots.size())
            grow();
        const std::uint64_t hash = hashOf(key);
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const std::uint32_t slot = m_slots[i];
            if (slot == 0) {
                m_keys.push_back({std::uint32_t(m_arena.size()), std::uint32_t(key.size()), hash});
                m_arena.append(key);
                m_slots[i] = std::uint32_t(m_keys.size());
                return std::uint32_t(m_keys.size() - 1);
            }
            const Key &k = m_keys[slot - 1];
            if (k.hash == hash && key == this->key(slot - 1))
                return slot - 1;
        }
    }
    std::size_t size() const { return m_keys.size(); }
    std::u16string_view key(std::uint32_t id) const {
        return std::u16string_view(m_arena).substr(m_keys[id].offset, m_keys[id].length);
    }

private:
    struct Key {
        std::uint32_t offset;
        std::uint32_t length;
        std::uint64_t hash;
    };
    static std::uint64_t hashOf(std::u16string_view key) {
        std::uint64_t h = 0xcbf29ce484222325ULL;
        for (char16_t c : key)
            h = (h ^ c) * 0x100000001b3ULL;
        return h ^ (h >> 29);
    }
    void grow() {
        m_slots.assign(std::max<std::size_t>(1024, m_slots.size() * 2), 0);
        const std::size_t mask = m_slots.size() - 1;
        for (std::uint32_t id = 0; id < m_keys.size(); ++id) {
            std::size_t i = m_keys[id].hash & mask;
            while (m_slots[i])
                i = (i + 1) & mask;
            m_slots[i] = id + 1;
        }
    }
    std::u16string m_arena;
    std::vector<Key> m_keys;
    std::vector<std::uint32_t> m_slots;
};

struct Occurrence {
    std::uint32_t key;
    std::uint32_t document;
    std::uint32_t location;
};

// A word in the code page; false when a character has no place in it.
bool encodeWord(const CodePageCharacters &codePage, std::u16string_view word, std::string &out) {
    out.clear();
    for (char16_t c : word)
        if (!codePage.append(c, out))  // a surrogate (beyond the BMP) has no place either
            return false;
    return true;
}

// What one thread learns from its share of the pages.
struct ThreadIndex {
    Vocabulary vocabulary;
    std::vector<Occurrence> occurrences;
    // After encoding: each key's word in the code page ("" when it cannot be stored).
    std::vector<std::string> encoded;
    // After sorting: occurrences grouped by key, keyStart[k]..keyStart[k + 1].
    std::vector<std::uint32_t> keyStart;
};

// A page's words, titles first, continue one location count per document.
class PageIndexer {
public:
    explicit PageIndexer(ThreadIndex &index) : m_index(index) {}

    void add(std::uint32_t document, const PageWords &words, bool title) {
        const char16_t tag = title ? kTitleTag : 0;
        for (std::size_t i = 0; i < words.words.size(); ++i) {
            const PageWords::Word &w = words.words[i];
            const std::uint32_t location = m_location++;
            if (w.length == 0)
                continue;
            m_key.assign(1, tag);
            m_key.append(words.chars, w.start, w.length);
            m_index.occurrences.push_back({m_index.vocabulary.intern(m_key), document, location});
        }
    }
    void newDocument() { m_location = 0; }

private:
    ThreadIndex &m_index;
    std::u16string m_key;
    std::uint32_t m_location = 0;
};

template <class Work>
void runOnThreads(std::size_t threads, Work work) {
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t)
        pool.emplace_back(work, t);
    work(std::size_t(0));
    for (std::thread &thread : pool)
        thread.join();
}

// Splits 0..weights.size() into `parts` contiguous ranges of about equal weight.
std::vector<std::size_t> balancedSplit(const std::vector<std::uint64_t> &weights, std::size_t parts) {
    const std::uint64_t total = std::accumulate(weights.begin(), weights.end(), std::uint64_t(0));
    std::vector<std::size_t> bounds{0};
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < weights.size() && bounds.size() < parts; ++i) {
        sum += weights[i];
        if (sum * parts >= total * bounds.size())
            bounds.push_back(i + 1);
    }
    while (bounds.size() <= parts)
        bounds.push_back(weights.size());
    bounds.back() = weights.size();
    return bounds;
}

// Where the occurrences of one index entry lie: per thread, a key of that thread.
struct EntrySource {
    std::uint32_t thread;
    std::uint32_t key;
};

struct GlobalEntry {
    std::string word;
    bool title;
    std::vector<EntrySource> sources;  // in thread order, hence in document order
};

// Walks an entry's documents: visit(documentDelta, count, first, last) per document.
template <class Visit>
void forEachDocument(const GlobalEntry &entry, const std::vector<ThreadIndex> &threads, Visit visit) {
    std::uint32_t previous = 0;
    for (const EntrySource &source : entry.sources) {
        const ThreadIndex &t = threads[source.thread];
        const Occurrence *p = t.occurrences.data() + t.keyStart[source.key];
        const Occurrence *end = t.occurrences.data() + t.keyStart[source.key + 1];
        while (p < end) {
            const Occurrence *docEnd = p;
            while (docEnd < end && docEnd->document == p->document)
                ++docEnd;
            visit(p->document - previous, std::uint32_t(docEnd - p), p, docEnd);
            previous = p->document;
            p = docEnd;
        }
    }
}

}  // namespace

QByteArray buildFullTextSearch(const QList<SearchPage> &pages, const SearchOptions &options) {
    const int codePage = options.codePage > 0 ? options.codePage : ansiCodePage(options.languageId).number;

    // Documents in #TOPICS order; pages sharing a topic form one document.
    std::vector<qsizetype> order(std::size_t(pages.size()));
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return pages[a].topic < pages[b].topic; });
    std::vector<std::size_t> documentStart;
    std::vector<std::uint64_t> documentWeight;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const SearchPage &page = pages[order[i]];
        if (i == 0 || pages[order[i - 1]].topic != page.topic) {
            documentStart.push_back(i);
            documentWeight.push_back(0);
        }
        documentWeight.back() += std::uint64_t(page.html.size() + page.title.size()) + 64;
    }
    documentStart.push_back(order.size());
    const std::size_t documents = documentWeight.size();

    const std::size_t threadCount = std::clamp<std::size_t>(
        options.threads > 0 ? std::size_t(options.threads) : std::size_t(std::thread::hardware_concurrency()), 1,
        std::max<std::size_t>(documents, 1));
    const std::vector<std::size_t> share = balancedSplit(documentWeight, threadCount);

    const CodePageCharacters *characters = CodePageCharacters::of(("CP" + std::to_string(codePage)).c_str());
    if (!characters)
        return {};

    // 1. Each thread reads its share of the documents, then puts its keys into the code
    // page and groups its occurrences by key.
    std::vector<ThreadIndex> threads(threadCount);
    runOnThreads(threadCount, [&](std::size_t t) {
        ThreadIndex &index = threads[t];
        std::uint64_t weight = 0;
        for (std::size_t d = share[t]; d < share[t + 1]; ++d)
            weight += documentWeight[d];
        index.occurrences.reserve(std::size_t(weight / 12));  // pages hold a word per 6 (plain text) to 30 (office HTML) characters
        PageIndexer indexer(index);
        PageWords words;
        for (std::size_t d = share[t]; d < share[t + 1]; ++d) {
            indexer.newDocument();
            for (std::size_t i = documentStart[d]; i < documentStart[d + 1]; ++i) {
                const SearchPage &page = pages[order[i]];
                words.clear();
                appendPlainWords(page.title, words, characters);
                indexer.add(page.topic, words, true);
                words.clear();
                appendVisibleWords(page.html, words, characters);
                indexer.add(page.topic, words, false);
            }
        }
        index.encoded.resize(index.vocabulary.size());
        for (std::uint32_t k = 0; k < index.vocabulary.size(); ++k) {
            std::string &bytes = index.encoded[k];
            if (!encodeWord(*characters, index.vocabulary.key(k).substr(1), bytes) || bytes.size() > kMaxWordBytes)
                bytes.clear();
        }
        // Counting sort by key keeps each key's occurrences in document and location order.
        index.keyStart.assign(index.vocabulary.size() + 1, 0);
        for (const Occurrence &o : index.occurrences)
            ++index.keyStart[o.key + 1];
        std::partial_sum(index.keyStart.begin(), index.keyStart.end(), index.keyStart.begin());
        std::vector<Occurrence> sorted(index.occurrences.size());
        std::vector<std::uint32_t> next(index.keyStart.begin(), index.keyStart.end() - 1);
        for (const Occurrence &o : index.occurrences)
            sorted[next[o.key]++] = o;
        index.occurrences = std::move(sorted);
    });

    // 2. One entry per word and context over all threads, in tree order.
    std::vector<GlobalEntry> entries;
    {
        std::unordered_map<std::string, std::uint32_t> ids;
        std::string id;
        for (std::uint32_t t = 0; t < threadCount; ++t) {
            const ThreadIndex &index = threads[t];
            for (std::uint32_t k = 0; k < index.vocabulary.size(); ++k) {
                if (index.encoded[k].empty())
                    continue;
                const char16_t tag = index.vocabulary.key(k)[0];
                id.assign(1, char(tag & kTitleTag));
                id += index.encoded[k];
                const auto [it, added] = ids.emplace(id, std::uint32_t(entries.size()));
                if (added)
                    entries.push_back({index.encoded[k], (tag & kTitleTag) != 0, {}});
                entries[it->second].sources.push_back({t, k});
            }
        }
    }
    std::sort(entries.begin(), entries.end(), [](const GlobalEntry &a, const GlobalEntry &b) {
        if (a.word != b.word)
            return a.word < b.word;  // bytes compared unsigned
        return !a.title && b.title;  // text before title, as HTML Help Workshop writes them
    });

    // 3. Location codes, on all threads: first the roots that code them shortest, then
    // the codes themselves, each thread a contiguous range of entries.
    std::vector<std::uint64_t> entryWeight(entries.size());
    for (std::size_t e = 0; e < entries.size(); ++e)
        for (const EntrySource &s : entries[e].sources)
            entryWeight[e] += threads[s.thread].keyStart[s.key + 1] - threads[s.thread].keyStart[s.key] + 1;
    const std::vector<std::size_t> ranges = balancedSplit(entryWeight, threadCount);
    std::vector<ScaleRootHistogram> documentCodes(threadCount), countCodes(threadCount), locationCodes(threadCount);
    runOnThreads(threadCount, [&](std::size_t t) {
        for (std::size_t e = ranges[t]; e < ranges[t + 1]; ++e)
            forEachDocument(entries[e], threads, [&](std::uint32_t delta, std::uint32_t count, const Occurrence *p,
                                                     const Occurrence *end) {
                documentCodes[t].add(delta);
                countCodes[t].add(count);
                for (std::uint32_t previous = 0; p < end; previous = p->location, ++p)
                    locationCodes[t].add(p->location - previous);
            });
    });
    for (std::size_t t = 1; t < threadCount; ++t) {
        documentCodes[0].merge(documentCodes[t]);
        countCodes[0].merge(countCodes[t]);
        locationCodes[0].merge(locationCodes[t]);
    }
    FtsFileInfo info;
    info.files = std::uint32_t(documents);
    info.documentRoot = documentCodes[0].bestRoot();
    info.countRoot = countCodes[0].bestRoot();
    info.locationRoot = locationCodes[0].bestRoot();
    info.codePage = std::uint32_t(codePage);
    info.languageId = options.languageId;

    // Besides the codes, what the header reports of the words: how many occurrences and
    // bytes they hold (words of one or two bytes, a double-byte character above all,
    // apart), and the furthest location at which a word occurs again.
    struct WordStatistics {
        std::uint64_t occurrences = 0;
        std::uint64_t shortBytes = 0;
        std::uint64_t longBytes = 0;
        std::uint32_t furthestRepeat = 0;
        std::uint64_t paddingBytes = 0;
    };
    std::vector<FtsEntry> tree(entries.size());
    std::vector<QByteArray> codes(threadCount);
    std::vector<WordStatistics> statistics(threadCount);
    runOnThreads(threadCount, [&](std::size_t t) {
        QByteArray &out = codes[t];
        WordStatistics &words = statistics[t];
        for (std::size_t e = ranges[t]; e < ranges[t + 1]; ++e) {
            FtsEntry &entry = tree[e];
            entry.word = std::move(entries[e].word);
            entry.title = entries[e].title;
            entry.wlcOffset = std::uint32_t(out.size());
            ScaleRootWriter bits(out);
            std::uint64_t occurrences = 0;
            forEachDocument(entries[e], threads, [&](std::uint32_t delta, std::uint32_t count, const Occurrence *p,
                                                     const Occurrence *end) {
                bits.putScaleRoot(delta, info.documentRoot);
                bits.putScaleRoot(count, info.countRoot);
                for (std::uint32_t previous = 0; p < end; previous = p->location, ++p) {
                    bits.putScaleRoot(p->location - previous, info.locationRoot);
                    if (occurrences++ > 0)
                        words.furthestRepeat = std::max(words.furthestRepeat, p->location);
                }
                bits.alignToByte();
                ++entry.documents;
            });
            words.occurrences += occurrences;
            (entry.word.size() <= 2 ? words.shortBytes : words.longBytes) += occurrences * entry.word.size();
            // HTML Help Workshop leaves a tenth more room, in zero bytes, after the codes of a
            // word found in three documents or more; its readers pass over them.
            const qsizetype codes = out.size() - qsizetype(entry.wlcOffset);
            if (entry.documents >= 3) {
                out.append(codes / 10, '\0');
                words.paddingBytes += std::uint64_t(codes / 10);
            }
            entry.wlcSize = std::uint32_t(out.size()) - entry.wlcOffset;
        }
    });
    QByteArray wlc;
    for (std::size_t t = 0; t < threadCount; ++t) {
        for (std::size_t e = ranges[t]; e < ranges[t + 1]; ++e)
            tree[e].wlcOffset += std::uint32_t(wlc.size());
        wlc += codes[t];
        info.wordsIndexed += statistics[t].occurrences;
        info.shortWordBytes += statistics[t].shortBytes;
        info.longWordBytes += statistics[t].longBytes;
        info.furthestRepeat = std::max(info.furthestRepeat, statistics[t].furthestRepeat);
        info.paddingBytes += statistics[t].paddingBytes;
    }
    return writeFtsFile(tree, wlc, info);
}

}  // namespace zelbrin::chm
