#pragma once

#include "core/error.h"
#include "spelling/personalwordlist.h"

#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <memory>
#include <optional>

namespace quillet {

struct Dictionaries;
struct SuggestionWork;

// Spelling of single words against the Hunspell dictionaries installed for
// Russian, English and the desktop's languages, plus the personal word list.
// A word is right when any dictionary knows it, so mixed text passes; "е" and
// "ё" stand for each other. The dictionaries load on a worker thread, started by
// the first load(); until then, and without dictionaries, no word is misspelt.
class SpellChecker final : public QObject
{
    Q_OBJECT

public:
    // At most this many suggestions are offered for a word.
    static constexpr int MaxSuggestions = 5;
    // suggestions() answers within this many milliseconds.
    static constexpr int SuggestionTimeLimitMs = 80;

    // The dictionaries of defaultDictionaryFolders(), the personal list at its default path.
    explicit SpellChecker(QObject *parent = nullptr);
    SpellChecker(const QStringList &dictionaryFolders, const QString &personalListPath,
                 QObject *parent = nullptr);
    ~SpellChecker() override;

    // The folders of $DICPATH, then the usual Hunspell and MySpell folders.
    static QStringList defaultDictionaryFolders();

    // Starts loading the dictionaries and the personal list, once.
    void load();
    bool isLoaded() const { return m_loaded; }
    bool hasDictionaries() const;
    // The names of the loaded dictionaries ("ru_RU", "en_US").
    QStringList dictionaryNames() const;

    bool isMisspelt(const QString &word);
    // The answer when it is known without asking a dictionary.
    std::optional<bool> cachedMisspelt(const QString &word) const;
    // Up to MaxSuggestions right words for a misspelt one, the closest first.
    // Returns within SuggestionTimeLimitMs: the dictionaries' own slower search
    // adds to the quick ones only when it finishes in time (or was prepared).
    QStringList suggestions(const QString &word);
    // Starts the dictionaries' slower search for a word's suggestions on a worker
    // thread, so that suggestions() finds them done.
    void prepareSuggestions(const QString &word);

    // The word is right from now on, also in later runs.
    Status addToDictionary(const QString &word);
    // The word is right for the rest of this run.
    void ignore(const QString &word);

signals:
    void dictionariesLoaded();
    // Words became right: marks already made may be wrong now.
    void wordsChanged();

private:
    void takeDictionaries();

    QStringList m_folders;
    PersonalWordList m_personal;
    QSet<QString> m_ignored;
    QHash<QString, bool> m_misspelt;
    std::shared_ptr<const Dictionaries> m_dictionaries;
    std::shared_ptr<SuggestionWork> m_suggestionWork;
    QFutureWatcher<std::shared_ptr<const Dictionaries>> m_loading;
    bool m_loadStarted = false;
    bool m_loaded = false;
};

// Whether a dictionary for Russian or English (or the desktop's language) is
// installed in the usual folders; a quick look for files, nothing is loaded.
bool spellingDictionariesPresent();
// The tooltip of the spelling preference when no dictionary is installed.
QString missingDictionariesToolTip();

} // namespace quillet
