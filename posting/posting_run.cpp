#include "posting/posting_run.h"

#include <cstring>

#include "platform/encoding.h"
#include "posting/posting_plan.h"
#include "resources/strings.h"

Text FailureLogLine(const Text& error, const Text& server, const Text& address, const Text& from,
                    const Text& subject) {
    static const Text format = Sjis(texts::kLogFailure);
    return Text::Format(format, {error, server, address, from, subject});
}

Text SuccessLogLine(const Text& address) {
    static const Text format = Sjis(texts::kLogSuccess);
    return Text::Format(format, {address});
}

bool ExecutePosting(const PostingInputs& inputs, const MailSender& send, PostingEvents& events) {
    const std::vector<PostingGroup> groups = PlanPosting(inputs.article);
    const std::vector<Text> addresses = SplitAddresses(inputs.blogAddresses);
    const Text server = inputs.smtpServer + ":" + inputs.smtpPort;
    events.OnRange(static_cast<int>(groups.size() * addresses.size()));

    bool anySent = false;
    bool anyFailed = false;
    for (const PostingGroup& group : groups) {
        events.OnSubject(group.subject);
        const Text body = inputs.header + group.text + inputs.footer;
        for (const Text& address : addresses) {
            if (events.StopRequested()) return false;
            char error[80] = {};
            const int result = send(server.c_str(), address.c_str(), inputs.fromAddress.c_str(),
                                    group.subject.c_str(), body.c_str(), "", error);
            if (result == 0) {
                error[sizeof error - 1] = '\0';
                events.OnLogLine(FailureLogLine(Text(error, std::strlen(error)), server, address,
                                                inputs.fromAddress, group.subject));
                anyFailed = true;
                continue;  // no pause after a failure; the next address still gets the group
            }
            if (result <= 9) events.OnLogLine(SuccessLogLine(address));
            anySent = true;
            events.OnProgressStep();
            if (!events.Pause()) return false;
        }
    }
    return anySent && !anyFailed;
}
