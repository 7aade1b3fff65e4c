#include "spelling/spellchecker.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLocale>
#include <QMutex>
#include <QPromise>
#include <QThreadPool>
#include <QWaitCondition>

#include <nuspell/dictionary.hxx>
#include <nuspell/finder.hxx>

#include <algorithm>
#include <deque>
#include <filesystem>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

// Words remembered as right or wrong before the memory is cleared.
constexpr qsizetype MaxCachedWords = 100000;
// Words whose suggestions are remembered.
constexpr qsizetype MaxSuggestedWords = 1000;
// Words waiting for the dictionaries' slower suggestion search.
constexpr size_t MaxPreparedWords = 8;
// "е"/"ё" variants tried for one word.
constexpr int MaxYoVariants = 6;

std::filesystem::path nativePath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString fromNative(const std::filesystem::path &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

// The Hunspell dictionaries (name and .aff file) found in the folders, first folder first.
QList<std::pair<QString, QString>> installedDictionaries(const QStringList &folders)
{
    std::vector<std::filesystem::path> paths;
    for (const QString &folder : folders)
        paths.push_back(nativePath(folder));
    std::vector<std::filesystem::path> found;
    nuspell::search_dirs_for_dicts(paths, found);
    QList<std::pair<QString, QString>> dictionaries;
    for (const std::filesystem::path &aff : found)
        dictionaries.append({fromNative(aff.stem()), fromNative(aff)});
    return dictionaries;
}

// Russian and English, then the desktop's languages, as dictionary names ("de_DE").
QStringList wantedLanguages()
{
    QStringList wanted = {u"ru_RU"_s, u"en_US"_s};
    QStringList desktop = QLocale::system().uiLanguages();
    desktop.append(qEnvironmentVariable("LANG").section('.'_L1, 0, 0).section('@'_L1, 0, 0));
    for (QString language : std::as_const(desktop)) {
        language.replace('-'_L1, '_'_L1);
        if (!language.isEmpty() && language != "C"_L1 && language != "POSIX"_L1 &&
            !wanted.contains(language))
            wanted.append(language);
    }
    return wanted;
}

// For each wanted language the dictionary of that exact name, else one of the
// same language ("en_GB" for "en_US"); each dictionary once.
QList<std::pair<QString, QString>>
chooseDictionaries(const QList<std::pair<QString, QString>> &installed, const QStringList &wanted)
{
    QList<std::pair<QString, QString>> chosen;
    const auto language = [](const QString &name) { return name.section('_'_L1, 0, 0); };
    for (const QString &name : wanted) {
        auto match = std::find_if(installed.cbegin(), installed.cend(),
                                  [&](const auto &d) { return d.first == name; });
        if (match == installed.cend())
            match = std::find_if(installed.cbegin(), installed.cend(), [&](const auto &d) {
                return language(d.first) == language(name);
            });
        if (match != installed.cend() && !chosen.contains(*match))
            chosen.append(*match);
    }
    return chosen;
}

// The letters a dictionary's suggestions are made of (its TRY line); empty
// when it names none.
QString tryLetters(const QString &affPath)
{
    QFile aff(affPath);
    if (!aff.open(QIODevice::ReadOnly))
        return {};
    for (int lines = 0; lines < 200 && !aff.atEnd(); ++lines) {
        const QByteArray line = aff.readLine(4096).trimmed();
        if (line.startsWith("TRY "))
            return QString::fromUtf8(line.sliced(4)).toLower();
    }
    return {};
}

QStringList yoVariants(const QString &word)
{
    const QChar yo(0x0451), bigYo(0x0401), ye(0x0435), bigYe(0x0415);
    if (word.contains(yo) || word.contains(bigYo))
        return {QString(word).replace(yo, ye).replace(bigYo, bigYe)};
    QStringList variants;
    for (qsizetype i = 0; i < word.size() && variants.size() < MaxYoVariants; ++i) {
        if (word[i] == ye || word[i] == bigYe)
            variants.append(QString(word).replace(i, 1, word[i] == ye ? yo : bigYo));
    }
    return variants;
}

} // namespace

struct LoadedDictionary
{
    QString name;
    QString letters;
    std::unique_ptr<nuspell::Dictionary> dictionary;
};

// The loaded dictionaries: read-only once loaded, so threads may share them.
struct Dictionaries
{
    std::vector<LoadedDictionary> list;

    static std::shared_ptr<const Dictionaries> load(const QStringList &folders,
                                                    const QStringList &wanted)
    {
        auto loaded = std::make_shared<Dictionaries>();
        for (const auto &[name, aff] : chooseDictionaries(installedDictionaries(folders), wanted)) {
            auto dictionary = std::make_unique<nuspell::Dictionary>();
            try {
                dictionary->load_aff_dic(nativePath(aff));
            } catch (const std::exception &) {
                continue; // a damaged dictionary is left out
            }
            loaded->list.push_back({name, tryLetters(aff), std::move(dictionary)});
        }
        return loaded;
    }

    bool spelledRight(const QString &word) const
    {
        const std::string utf8 = word.toStdString();
        return std::any_of(list.cbegin(), list.cend(),
                           [&](const LoadedDictionary &d) { return d.dictionary->spell(utf8); });
    }

    bool knowsWhole(const QString &word) const
    {
        if (spelledRight(word))
            return true;
        const QStringList variants = yoVariants(word);
        return std::any_of(variants.cbegin(), variants.cend(),
                           [&](const QString &variant) { return spelledRight(variant); });
    }

    // Parts joined by hyphens may come from different dictionaries ("e-mail-адрес").
    bool knows(QString word) const
    {
        word.replace(QChar(0x2019), '\''_L1);
        if (knowsWhole(word))
            return true;
        const QStringList parts = word.split('-'_L1);
        return parts.size() > 1 && std::all_of(parts.cbegin(), parts.cend(), [&](const QString &p) {
                   return !p.isEmpty() && knowsWhole(p);
               });
    }

    // The dictionaries' own search, in the dictionaries made of the word's letters.
    QStringList suggest(const QString &word) const
    {
        QStringList found;
        const std::string utf8 = word.toStdString();
        const QString lower = word.toLower();
        for (const LoadedDictionary &d : list) {
            if (!d.letters.isEmpty() && std::none_of(lower.cbegin(), lower.cend(), [&](QChar c) {
                    return d.letters.contains(c);
                }))
                continue;
            std::vector<std::string> out;
            d.dictionary->suggest(utf8, out);
            for (const std::string &s : out) {
                const QString suggestion = QString::fromStdString(s);
                if (!found.contains(suggestion))
                    found.append(suggestion);
            }
        }
        return found;
    }

    // The right words one edit away, the likeliest edits first: "е"/"ё" and
    // letter case, swapped neighbours, a doubled or undoubled letter, a letter
    // replaced by a like one (vowel for vowel), then any replacement, insertion
    // or deletion; then two vowels wrong.
    QStringList nearWords(const QString &word) const;

    // The near words, then the dictionaries' own finds, up to MaxSuggestions.
    QStringList allSuggestions(const QString &word) const
    {
        QStringList found = nearWords(word);
        if (found.size() == SpellChecker::MaxSuggestions)
            return found;
        for (const QString &suggestion : suggest(word)) {
            if (found.size() < SpellChecker::MaxSuggestions && !found.contains(suggestion))
                found.append(suggestion);
        }
        return found;
    }
};

namespace {

QString vowelsLike(QChar letter)
{
    return letter.script() == QChar::Script_Cyrillic ? u"аеёиоуыэюя"_s : u"aeiouy"_s;
}

bool isVowel(QChar c)
{
    return vowelsLike(c).contains(c.toLower());
}

QString alphabetFor(const QString &word)
{
    QString letters;
    const bool cyrillic = std::any_of(word.cbegin(), word.cend(),
                                      [](QChar c) { return c.script() == QChar::Script_Cyrillic; });
    if (cyrillic)
        letters += u"абвгдеёжзийклмнопрстуфхцчшщъыьэюя"_s;
    if (!cyrillic || std::any_of(word.cbegin(), word.cend(),
                                 [](QChar c) { return c.script() == QChar::Script_Latin; }))
        letters += u"abcdefghijklmnopqrstuvwxyz"_s;
    return letters;
}

QChar inCaseOf(QChar letter, QChar original)
{
    return original.isUpper() ? letter.toUpper() : letter;
}

// The word with its letter at `i`, a vowel, replaced by each other vowel.
void replaceVowel(const QString &word, qsizetype i, QStringList &out)
{
    for (QChar vowel : vowelsLike(word[i])) {
        if (inCaseOf(vowel, word[i]) != word[i])
            out.append(QString(word).replace(i, 1, inCaseOf(vowel, word[i])));
    }
}

// Unstressed vowels are the commonest slip in Russian: two vowels replaced
// ("малако"), or one replaced in a word with a letter doubled or undoubled
// ("каррова").
QStringList vowelSlips(const QString &word, const QStringList &doubling)
{
    QStringList slips;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (!isVowel(word[i]))
            continue;
        QStringList once;
        replaceVowel(word, i, once);
        for (const QString &replaced : std::as_const(once)) {
            for (qsizetype j = i + 1; j < word.size(); ++j) {
                if (isVowel(word[j]))
                    replaceVowel(replaced, j, slips);
            }
        }
    }
    for (const QString &doubled : doubling) {
        for (qsizetype i = 0; i < doubled.size(); ++i) {
            if (isVowel(doubled[i]))
                replaceVowel(doubled, i, slips);
        }
    }
    return slips;
}

// Candidates one edit away, grouped by how likely the slip is, then the
// vowel slips two edits away.
QList<QStringList> editsOf(const QString &word)
{
    QList<QStringList> groups(7);
    const QString letters = alphabetFor(word);
    const qsizetype n = word.size();
    groups[0] = yoVariants(word);
    if (word[0].isLower())
        groups[0].append(word.left(1).toUpper() + word.mid(1));
    for (qsizetype i = 0; i + 1 < n; ++i) {
        QString swapped = word;
        std::swap(swapped[i], swapped[i + 1]);
        groups[1].append(swapped);
        if (word[i] == word[i + 1])
            groups[2].append(QString(word).remove(i, 1));
    }
    for (qsizetype i = 0; i < n; ++i) {
        groups[2].append(QString(word).insert(i, word[i]));
        for (QChar c : letters) {
            const QChar letter = inCaseOf(c, word[i]);
            if (letter != word[i])
                groups[isVowel(letter) == isVowel(word[i]) ? 3 : 4].append(
                    QString(word).replace(i, 1, letter));
        }
    }
    for (qsizetype i = 0; i <= n; ++i) {
        for (QChar c : letters)
            groups[5].append(QString(word).insert(i, c));
    }
    for (qsizetype i = 0; i < n; ++i)
        groups[5].append(QString(word).remove(i, 1));
    groups[6] = vowelSlips(word, groups[2]);
    return groups;
}

} // namespace

QStringList Dictionaries::nearWords(const QString &word) const
{
    QStringList found;
    if (word.isEmpty())
        return found;
    for (const QStringList &group : editsOf(word)) {
        for (const QString &candidate : group) {
            if (found.size() == SpellChecker::MaxSuggestions)
                return found;
            if (candidate != word && !candidate.isEmpty() && !found.contains(candidate) &&
                spelledRight(candidate))
                found.append(candidate);
        }
    }
    return found;
}

// The dictionaries' slower suggestion search, run on one worker thread at a
// time, the word asked for last first.
struct SuggestionWork
{
    std::shared_ptr<const Dictionaries> dictionaries;
    QMutex mutex;
    QWaitCondition finished;
    std::deque<QString> waiting;
    QHash<QString, QStringList> found;
    bool running = false;

    static void prepare(const std::shared_ptr<SuggestionWork> &work, const QString &word)
    {
        QMutexLocker lock(&work->mutex);
        if (work->found.contains(word))
            return;
        std::erase(work->waiting, word);
        work->waiting.push_front(word);
        if (work->waiting.size() > MaxPreparedWords)
            work->waiting.pop_back();
        if (std::exchange(work->running, true))
            return;
        QThreadPool::globalInstance()->start([work] { run(work); });
    }

    static void run(const std::shared_ptr<SuggestionWork> &work)
    {
        QMutexLocker lock(&work->mutex);
        while (!work->waiting.empty()) {
            const QString word = work->waiting.front();
            work->waiting.pop_front();
            lock.unlock();
            const QStringList suggestions = work->dictionaries->allSuggestions(word);
            lock.relock();
            work->remember(word, suggestions);
        }
        work->running = false;
    }

    // Called with the mutex held.
    void remember(const QString &word, const QStringList &suggestions)
    {
        if (found.size() >= MaxSuggestedWords)
            found.clear();
        found.insert(word, suggestions);
        finished.wakeAll();
    }

    // The search's result if it is done before the deadline.
    std::optional<QStringList> waitFor(const QString &word, QDeadlineTimer deadline)
    {
        QMutexLocker lock(&mutex);
        while (!found.contains(word)) {
            if (!finished.wait(&mutex, deadline))
                return std::nullopt;
        }
        return found.value(word);
    }
};

SpellChecker::SpellChecker(QObject *parent)
    : SpellChecker(defaultDictionaryFolders(), PersonalWordList::defaultPath(), parent)
{}

SpellChecker::SpellChecker(const QStringList &dictionaryFolders, const QString &personalListPath,
                           QObject *parent)
    : QObject(parent), m_folders(dictionaryFolders), m_personal(personalListPath)
{
    connect(&m_loading, &QFutureWatcherBase::finished, this, &SpellChecker::takeDictionaries);
}

SpellChecker::~SpellChecker() = default;

QStringList SpellChecker::defaultDictionaryFolders()
{
    std::vector<std::filesystem::path> paths;
    nuspell::append_default_dir_paths(paths);
    QStringList folders;
    for (const std::filesystem::path &path : paths)
        folders.append(fromNative(path));
    return folders;
}

void SpellChecker::load()
{
    if (std::exchange(m_loadStarted, true))
        return;
    m_personal.load();
    auto promise = std::make_shared<QPromise<std::shared_ptr<const Dictionaries>>>();
    m_loading.setFuture(promise->future());
    QThreadPool::globalInstance()->start(
        [promise, folders = m_folders, wanted = wantedLanguages()] {
            promise->start();
            promise->addResult(Dictionaries::load(folders, wanted));
            promise->finish();
        });
}

void SpellChecker::takeDictionaries()
{
    m_dictionaries = m_loading.result();
    m_suggestionWork = std::make_shared<SuggestionWork>();
    m_suggestionWork->dictionaries = m_dictionaries;
    m_loaded = true;
    emit dictionariesLoaded();
}

bool SpellChecker::hasDictionaries() const
{
    return m_dictionaries && !m_dictionaries->list.empty();
}

QStringList SpellChecker::dictionaryNames() const
{
    QStringList names;
    if (m_dictionaries) {
        for (const LoadedDictionary &d : m_dictionaries->list)
            names.append(d.name);
    }
    return names;
}

std::optional<bool> SpellChecker::cachedMisspelt(const QString &word) const
{
    if (!hasDictionaries() || m_ignored.contains(word) || m_personal.contains(word))
        return false;
    const auto known = m_misspelt.constFind(word);
    if (known == m_misspelt.cend())
        return std::nullopt;
    return *known;
}

bool SpellChecker::isMisspelt(const QString &word)
{
    if (const std::optional<bool> known = cachedMisspelt(word))
        return *known;
    const bool misspelt = !m_dictionaries->knows(word);
    if (m_misspelt.size() >= MaxCachedWords)
        m_misspelt.clear();
    m_misspelt.insert(word, misspelt);
    return misspelt;
}

QStringList SpellChecker::suggestions(const QString &word)
{
    if (!hasDictionaries())
        return {};
    const QDeadlineTimer deadline(SuggestionTimeLimitMs);
    if (std::optional<QStringList> prepared = m_suggestionWork->waitFor(word, QDeadlineTimer(0)))
        return *prepared;
    const QStringList near = m_dictionaries->nearWords(word);
    if (near.size() == MaxSuggestions) {
        QMutexLocker lock(&m_suggestionWork->mutex);
        m_suggestionWork->remember(word, near);
        return near;
    }
    prepareSuggestions(word);
    return m_suggestionWork->waitFor(word, deadline).value_or(near);
}

void SpellChecker::prepareSuggestions(const QString &word)
{
    if (m_suggestionWork)
        SuggestionWork::prepare(m_suggestionWork, word);
}

Status SpellChecker::addToDictionary(const QString &word)
{
    const Status saved = m_personal.add(word);
    emit wordsChanged();
    return saved;
}

void SpellChecker::ignore(const QString &word)
{
    m_ignored.insert(word);
    emit wordsChanged();
}

bool spellingDictionariesPresent()
{
    return !chooseDictionaries(installedDictionaries(SpellChecker::defaultDictionaryFolders()),
                               wantedLanguages())
                .isEmpty();
}

QString missingDictionariesToolTip()
{
    return u"Словари не установлены: установите пакеты hunspell-ru и hunspell-en-us"_s;
}

} // namespace quillet
