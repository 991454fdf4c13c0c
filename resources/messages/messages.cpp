#include "resources/messages/messages.h"

#include <atomic>
#include <cstdlib>

namespace qubopost::messages {
namespace {

std::atomic<Language> g_language{Language::Japanese};

}  // namespace

Language CurrentLanguage() { return g_language.load(std::memory_order_relaxed); }

void SetLanguage(Language language) { g_language.store(language, std::memory_order_relaxed); }

Language LanguageFromLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (value == nullptr || *value == '\0') continue;
        return std::string_view(value).starts_with("ja") ? Language::Japanese : Language::English;
    }
    return Language::English;
}

void SetLanguageFromEnvironment() {
    SetLanguage(LanguageFromLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG")));
}

std::string_view Say(const Message& message) {
    if (CurrentLanguage() == Language::English && !message.en.empty()) return message.en;
    return message.ja;
}

std::string Fill(std::string_view text, std::initializer_list<std::string_view> values) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '{') {
            std::size_t end = i + 1;
            std::size_t number = 0;
            while (end < text.size() && end - i <= 3 && text[end] >= '0' && text[end] <= '9')
                number = number * 10 + static_cast<std::size_t>(text[end++] - '0');
            if (end > i + 1 && end < text.size() && text[end] == '}' && number >= 1 && number <= values.size()) {
                out += *(values.begin() + (number - 1));
                i = end + 1;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

std::string Say(const Message& message, std::initializer_list<std::string_view> values) {
    return Fill(Say(message), values);
}

std::span<const NamedMessage> AllMessages() {
    // Every constant of messages_catalogue.h, in its order.
    static constexpr NamedMessage kAll[] = {
        {"kCliUsage", &kCliUsage},
        {"kCliNeedsValue", &kCliNeedsValue},
        {"kCliGivenTwice", &kCliGivenTwice},
        {"kCliUnknownOption", &kCliUnknownOption},
        {"kCliUnknownCommand", &kCliUnknownCommand},
        {"kCliKindInvalid", &kCliKindInvalid},
        {"kCliProductInvalid", &kCliProductInvalid},
        {"kCliOutputEncodingInvalid", &kCliOutputEncodingInvalid},
        {"kCliInputEncodingInvalid", &kCliInputEncodingInvalid},
        {"kCliArticleRequired", &kCliArticleRequired},
        {"kCliDestinationRequired", &kCliDestinationRequired},
        {"kCliMailOptionRequired", &kCliMailOptionRequired},
        {"kCliNetworkUnavailable", &kCliNetworkUnavailable},
        {"kCliSettingsMissing", &kCliSettingsMissing},
        {"kCliSettingsIsFolder", &kCliSettingsIsFolder},
        {"kCliSettingsUnreadable", &kCliSettingsUnreadable},
        {"kCliRankingHostInvalid", &kCliRankingHostInvalid},
        {"kCliNulBytesDropped", &kCliNulBytesDropped},
        {"kCliPauseInvalid", &kCliPauseInvalid},
        {"kCliToHasLineBreak", &kCliToHasLineBreak},
        {"kCliServerHasPort", &kCliServerHasPort},
        {"kCliPortInvalid", &kCliPortInvalid},
        {"kCliRestartConflicts", &kCliRestartConflicts},
        {"kCliAgainConflicts", &kCliAgainConflicts},
        {"kCliUnsendableCharacter", &kCliUnsendableCharacter},
        {"kCliNoArticles", &kCliNoArticles},
        {"kCliNoDestinations", &kCliNoDestinations},
        {"kCliDisclosureNote", &kCliDisclosureNote},
        {"kCliDryRunMails", &kCliDryRunMails},
        {"kCliDryRunMailsAndPosts", &kCliDryRunMailsAndPosts},
        {"kCliTrustFileUnreadable", &kCliTrustFileUnreadable},
        {"kCliNoJournal", &kCliNoJournal},
        {"kCliHistoryUnavailable", &kCliHistoryUnavailable},
        {"kCliRunNumberInvalid", &kCliRunNumberInvalid},
        {"kCliResumeNumberInvalid", &kCliResumeNumberInvalid},
        {"kCliMailLibraryMissing", &kCliMailLibraryMissing},
        {"kCliConverterUnavailable", &kCliConverterUnavailable},
        {"kCliNetworkError", &kCliNetworkError},
        {"kCliResuming", &kCliResuming},
        {"kCliUncertainWaiting", &kCliUncertainWaiting},
        {"kCliAlreadyPosted", &kCliAlreadyPosted},
        {"kCliPostingDone", &kCliPostingDone},
        {"kCliPostingFailed", &kCliPostingFailed},
        {"kCliStopped", &kCliStopped},
        {"kCliResumeHint", &kCliResumeHint},
        {"kCliBlogLoginRefused", &kCliBlogLoginRefused},
        {"kCliSmtpLoginRefused", &kCliSmtpLoginRefused},
        {"kCliUncertainAfterRun", &kCliUncertainAfterRun},
        {"kShortLocalTime", &kShortLocalTime},
        {"kEngineJournalUnusable", &kEngineJournalUnusable},
        {"kEngineJournalUnreadable", &kEngineJournalUnreadable},
        {"kEngineNothingToRetry", &kEngineNothingToRetry},
        {"kEngineResumeNeedsJournal", &kEngineResumeNeedsJournal},
        {"kEngineNothingToResume", &kEngineNothingToResume},
        {"kEngineNoSuchRun", &kEngineNoSuchRun},
        {"kEngineRunNotStored", &kEngineRunNotStored},
        {"kEngineRunAlreadyDone", &kEngineRunAlreadyDone},
        {"kEngineCannotRecord", &kEngineCannotRecord},
        {"kEngineDraftMailOnly", &kEngineDraftMailOnly},
        {"kEngineDraftBlogAndMail", &kEngineDraftBlogAndMail},
        {"kEngineDraftBlog", &kEngineDraftBlog},
        {"kDestinationNotBlogUrl", &kDestinationNotBlogUrl},
        {"kDestinationNeedsOneAt", &kDestinationNeedsOneAt},
        {"kBlogPasswordAdvice", &kBlogPasswordAdvice},
        {"kInputFileIsFolder", &kInputFileIsFolder},
        {"kInputFileUnreadable", &kInputFileUnreadable},
        {"kInputFileNulByte", &kInputFileNulByte},
        {"kInputFileInvalidSjis", &kInputFileInvalidSjis},
        {"kInputFileInvalidUtf8", &kInputFileInvalidUtf8},
        {"kDisclosureWarning", &kDisclosureWarning},
        {"kGenerateNoProducts", &kGenerateNoProducts},
        {"kGeneratePageUnreadable", &kGeneratePageUnreadable},
        {"kGenerateConverterUnavailable", &kGenerateConverterUnavailable},
        {"kGenerateWriteFailed", &kGenerateWriteFailed},
        {"kReasonInBrackets", &kReasonInBrackets},
        {"kSettingsIsFolder", &kSettingsIsFolder},
        {"kSettingsNotRegularFile", &kSettingsNotRegularFile},
        {"kSettingsNotWrittenNotRegular", &kSettingsNotWrittenNotRegular},
        {"kSettingsReadOnly", &kSettingsReadOnly},
        {"kUnmappableCharacter", &kUnmappableCharacter},
        {"kUnmappableNotUtf8", &kUnmappableNotUtf8},
        {"kControlCharacter", &kControlCharacter},
        {"kControlNotUtf8", &kControlNotUtf8},
        {"kHistoryCount", &kHistoryCount},
        {"kHistorySentLabel", &kHistorySentLabel},
        {"kHistoryFailedLabel", &kHistoryFailedLabel},
        {"kHistoryUncertainLabel", &kHistoryUncertainLabel},
        {"kHistoryPendingLabel", &kHistoryPendingLabel},
        {"kHistoryFinished", &kHistoryFinished},
        {"kHistoryStopped", &kHistoryStopped},
        {"kHistoryNoEnd", &kHistoryNoEnd},
        {"kHistoryResumes", &kHistoryResumes},
        {"kHistoryLastResume", &kHistoryLastResume},
        {"kHistoryRunLine", &kHistoryRunLine},
        {"kHistoryNoEndTime", &kHistoryNoEndTime},
        {"kHistoryResumable", &kHistoryResumable},
        {"kHistoryCountsLine", &kHistoryCountsLine},
        {"kHistoryServer", &kHistoryServer},
        {"kHistoryStateSent", &kHistoryStateSent},
        {"kHistoryStateUncertain", &kHistoryStateUncertain},
        {"kHistoryTimeUnknown", &kHistoryTimeUnknown},
        {"kHistoryEmpty", &kHistoryEmpty},
        {"kHistoryMessageLine", &kHistoryMessageLine},
        {"kHistoryPostAddress", &kHistoryPostAddress},
        {"kHistoryRunPost", &kHistoryRunPost},
        {"kHistoryNoSuchRun", &kHistoryNoSuchRun},
        {"kJournalCannotRead", &kJournalCannotRead},
        {"kJournalCannotOpen", &kJournalCannotOpen},
        {"kJournalOpenFailed", &kJournalOpenFailed},
        {"kJournalInTheWay", &kJournalInTheWay},
        {"kJournalLinkLoop", &kJournalLinkLoop},
        {"kJournalLinkDangling", &kJournalLinkDangling},
        {"kJournalRelink", &kJournalRelink},
        {"kJournalMoveAside", &kJournalMoveAside},
        {"kJournalPlaceIsFolder", &kJournalPlaceIsFolder},
        {"kJournalPlaceNotFile", &kJournalPlaceNotFile},
        {"kDurationSeconds", &kDurationSeconds},
        {"kDurationMilliseconds", &kDurationMilliseconds},
        {"kJournalFolderFailed", &kJournalFolderFailed},
        {"kJournalNewerFormat", &kJournalNewerFormat},
        {"kJournalCannotMigrate", &kJournalCannotMigrate},
        {"kJournalMigrateFailed", &kJournalMigrateFailed},
        {"kJournalCannotRecord", &kJournalCannotRecord},
        {"kJournalBusy", &kJournalBusy},
        {"kJournalReadOnly", &kJournalReadOnly},
        {"kJournalDamaged", &kJournalDamaged},
        {"kJournalWriteFailed", &kJournalWriteFailed},
        {"kJournalCannotRecordStart", &kJournalCannotRecordStart},
        {"kJournalNumbersInvalid", &kJournalNumbersInvalid},
        {"kJournalBodyMissing", &kJournalBodyMissing},
        {"kJournalCannotRecordResult", &kJournalCannotRecordResult},
        {"kJournalNoSuchMessage", &kJournalNoSuchMessage},
        {"kJournalAlreadySent", &kJournalAlreadySent},
        {"kJournalCannotRecordEnd", &kJournalCannotRecordEnd},
        {"kJournalCannotRecordResume", &kJournalCannotRecordResume},
        {"kJournalNoSuchRunToUpdate", &kJournalNoSuchRunToUpdate},
        {"kJournalCannotPrune", &kJournalCannotPrune},
        {"kLockFailed", &kLockFailed},
        {"kLockFolderFailed", &kLockFolderFailed},
        {"kLockOpenFailed", &kLockOpenFailed},
        {"kLockLockFailed", &kLockLockFailed},
        {"kLockWriteFailed", &kLockWriteFailed},
        {"kLockNameInvalid", &kLockNameInvalid},
        {"kLockHeld", &kLockHeld},
        {"kLockHeldBy", &kLockHeldBy},
        {"kKeyRingGaveUp", &kKeyRingGaveUp},
        {"kKeyRingPromptNoAnswer", &kKeyRingPromptNoAnswer},
        {"kKeyRingNoReply", &kKeyRingNoReply},
        {"kKeyRingServiceWords", &kKeyRingServiceWords},
        {"kKeyRingServiceError", &kKeyRingServiceError},
        {"kKeyRingNotUnlocked", &kKeyRingNotUnlocked},
        {"kKeyRingTimedOut", &kKeyRingTimedOut},
        {"kKeyRingPromptDismissed", &kKeyRingPromptDismissed},
        {"kKeyRingCannotUnlock", &kKeyRingCannotUnlock},
        {"kKeyRingNoLogin", &kKeyRingNoLogin},
        {"kKeyRingUnavailable", &kKeyRingUnavailable},
        {"kKeyRingLocked", &kKeyRingLocked},
        {"kKeyRingCancelled", &kKeyRingCancelled},
        {"kKeyRingFailed", &kKeyRingFailed},
        {"kCredentialsUsageHeading", &kCredentialsUsageHeading},
        {"kCredentialsRetry", &kCredentialsRetry},
        {"kCredentialsPasswordPrompt", &kCredentialsPasswordPrompt},
        {"kCredentialsUnknownOption", &kCredentialsUnknownOption},
        {"kCredentialsNeedsValue", &kCredentialsNeedsValue},
        {"kCredentialsNoPassword", &kCredentialsNoPassword},
        {"kCredentialsStored", &kCredentialsStored},
        {"kCredentialsProblem", &kCredentialsProblem},
        {"kCredentialsCannotStore", &kCredentialsCannotStore},
        {"kCredentialsForgotten", &kCredentialsForgotten},
        {"kCredentialsNotStored", &kCredentialsNotStored},
        {"kCredentialsCannotForget", &kCredentialsCannotForget},
        {"kCredentialsCannotList", &kCredentialsCannotList},
        {"kCredentialsActionMissing", &kCredentialsActionMissing},
        {"kCredentialsSetNeeds", &kCredentialsSetNeeds},
        {"kCredentialsForgetNeeds", &kCredentialsForgetNeeds},
        {"kCredentialsListNoOptions", &kCredentialsListNoOptions},
        {"kCredentialsUnknownAction", &kCredentialsUnknownAction},
        {"kBlogUrlForm", &kBlogUrlForm},
        {"kBlogDestinationEmpty", &kBlogDestinationEmpty},
        {"kBlogOutOfMemory", &kBlogOutOfMemory},
        {"kBlogNotUrl", &kBlogNotUrl},
        {"kBlogSchemeInvalid", &kBlogSchemeInvalid},
        {"kBlogNoHost", &kBlogNoHost},
        {"kBlogPasswordInUrl", &kBlogPasswordInUrl},
        {"kBlogUserControlCharacter", &kBlogUserControlCharacter},
        {"kBlogNoUser", &kBlogNoUser},
        {"kBlogHttpOnlyLoopback", &kBlogHttpOnlyLoopback},
        {"kHttpNotUrl", &kHttpNotUrl},
        {"kHttpAddressUnknown", &kHttpAddressUnknown},
        {"kHttpUnknownHost", &kHttpUnknownHost},
        {"kHttpConnectTimedOut", &kHttpConnectTimedOut},
        {"kHttpStoppedNothingSent", &kHttpStoppedNothingSent},
        {"kHttpNeedsTls", &kHttpNeedsTls},
        {"kHttpAfterSending", &kHttpAfterSending},
        {"kHttpBeforeSent", &kHttpBeforeSent},
        {"kHttpStopped", &kHttpStopped},
        {"kHttpAnswerTimedOut", &kHttpAnswerTimedOut},
        {"kHttpOffRoute", &kHttpOffRoute},
        {"kHttpAnswerTooLarge", &kHttpAnswerTooLarge},
        {"kBlogNoRandom", &kBlogNoRandom},
        {"kBlogAtomNoCollection", &kBlogAtomNoCollection},
        {"kBlogAtomNotService", &kBlogAtomNotService},
        {"kBlogNeedsTls", &kBlogNeedsTls},
        {"kBlogNoRestApi", &kBlogNoRestApi},
        {"kBlogNoXmlRpc", &kBlogNoXmlRpc},
        {"kBlogNoApi", &kBlogNoApi},
        {"kBlogAnswerNoLink", &kBlogAnswerNoLink},
        {"kBlogRpcUnreadable", &kBlogRpcUnreadable},
        {"kBlogLinkUnknown", &kBlogLinkUnknown},
        {"kBlogNoLink", &kBlogNoLink},
        {"kBlogApiKindUnknown", &kBlogApiKindUnknown},
        {"kSendAgain", &kSendAgain},
        {"kReasonThenSendAgain", &kReasonThenSendAgain},
        {"kMailConnectionRefused", &kMailConnectionRefused},
        {"kMailUnknownHost", &kMailUnknownHost},
        {"kMailCannotConnect", &kMailCannotConnect},
        {"kMailTimedOut", &kMailTimedOut},
        {"kMailCertificateUntrusted", &kMailCertificateUntrusted},
        {"kMailCertificateOtherHost", &kMailCertificateOtherHost},
        {"kMailNoStartTls", &kMailNoStartTls},
        {"kMailTlsFailed", &kMailTlsFailed},
        {"kMailLoginRefused", &kMailLoginRefused},
        {"kMailNoLoginOffered", &kMailNoLoginOffered},
        {"kMailConnectionClosed", &kMailConnectionClosed},
        {"kMailLoginRequired", &kMailLoginRequired},
        {"kMailTooBig", &kMailTooBig},
        {"kMailSenderRefused", &kMailSenderRefused},
        {"kMailRecipientRefused", &kMailRecipientRefused},
        {"kMailTryLater", &kMailTryLater},
        {"kLogBlogPosted", &kLogBlogPosted},
        {"kLogBlogFailure", &kLogBlogFailure},
        {"kBlogPostUncertain", &kBlogPostUncertain},
        {"kBlogPostFailed", &kBlogPostFailed},
        {"kBlogLoginRefusedLine", &kBlogLoginRefusedLine},
        {"kBlogRetryLaterGaveUp", &kBlogRetryLaterGaveUp},
        {"kBlogRetryLater", &kBlogRetryLater},
        {"kBlogRetryAfter", &kBlogRetryAfter},
        {"kMailUncertain", &kMailUncertain},
        {"kSmtpLoginRefusedLine", &kSmtpLoginRefusedLine},
        {"kSmtpLoginDeferredGaveUp", &kSmtpLoginDeferredGaveUp},
        {"kSmtpLoginDeferred", &kSmtpLoginDeferred},
        {"kDetailBlogLoginRefused", &kDetailBlogLoginRefused},
        {"kDetailStopped", &kDetailStopped},
        {"kDetailNotRecorded", &kDetailNotRecorded},
        {"kDetailLoginRefused", &kDetailLoginRefused},
        {"kDetailLoginDeferred", &kDetailLoginDeferred},
        {"kDetailNoBlogPoster", &kDetailNoBlogPoster},
    };
    return kAll;
}

}  // namespace qubopost::messages
