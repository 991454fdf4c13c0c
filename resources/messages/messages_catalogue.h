// The catalogue: every text as a named Message, grouped by the area that shows it.
// Included through messages.h. A text marked "kept byte for byte" is read by something other
// than a person (a script, a stored file, a peer) as it is: its bytes never change.
#pragma once

namespace qubopost::messages {

// ---- qubopost-cli: usage, options and its own errors -----------------------------------------

// The usage is the same in both languages (it has no English form of its own: it is English
// already, naming the dialog's labels and the category labels, which are typed as they are).
inline constexpr Message kCliUsage{R"(Usage:
  qubopost-cli generate [--kind monthly|daily|pickup] [--product download|mailmag|goods]
                        [--category TEXT] [--af ID] [--page FILE] [--print-url]
                        [--output-encoding utf-8|sjis] [--ranking-host HOST[:PORT]]
                        [--settings FILE]
  qubopost-cli post --article FILE (--to ADDR|URL)... [--to-file FILE] [--server HOST --port PORT
                    --from ADDR] [--header FILE] [--footer FILE] [--pause SECONDS] [--dry-run]
                    [--draft] [--input-encoding utf-8|sjis] [--restart] [--resend-uncertain]
                    [--retry-failed] [--again] [--no-journal] [--tls-trust-file FILE]
                    [--settings FILE]
  qubopost-cli resume [RUN] [--pause SECONDS] [--resend-uncertain] [--draft] [--tls-trust-file FILE]
  qubopost-cli history [--run ID] [--limit N]
  qubopost-cli credentials set --server HOST[:PORT] --user USER   (password on standard input)
  qubopost-cli credentials forget --server HOST
  qubopost-cli credentials list
  qubopost-cli --help | --version

generate: builds article text from a ranking page, as the dialog's "記事自動生成" does.
  --kind        ranking kind: monthly (1-month ranking, default), daily (24-hour ranking)
                or pickup (pickup products)
  --product     product kind: download (default), mailmag (paid mail magazines) or goods
  --category    the category as the dialog's combo box takes it, in UTF-8: one of its labels
                (すべて (default), ビジネス・情報源, 趣味・生活・雑誌, 芸能・音楽,
                小説・ノンフィクション, 写真集・グラビア, 漫画・同人誌) or any other text,
                which is sent as it is
  --af          affiliate ID (default: the program's own ID)
  --print-url   print the ranking URL and exit
  --page FILE   take FILE's bytes as the downloaded page (EUC-JP) instead of fetching it
  --ranking-host HOST[:PORT]
                the ranking service for this run; default: [Ranking] Host= of the settings
                file, else the host the program was built with
  --output-encoding
                utf-8 (default) or sjis (the program's own Shift-JIS bytes)
  The page is fetched with one HTTP GET, honouring http_proxy, https_proxy and no_proxy.
  The article text goes to standard output. A page without a single product gives no
  article and exit status 1.

post: mails the article text, three articles a message, to every address, as the dialog's
  "ブログ投稿開始" does, through the SMTP server HOST:PORT (465, or HOST written as
  smtps://HOST: TLS from the start; other ports: STARTTLS when offered, required when a
  password is stored for HOST in the key ring or ~/.netrc).
  A destination may also be a blog's URL with the user name in it
  (https://taro@blog.example.jp/): each group is then posted through the blog's own API
  (WordPress REST, XML-RPC or AtomPub, found from the URL; "wordpress+", "xmlrpc+" or
  "atompub+" in front of the URL forces one) as one entry, title = the subject, the text as
  HTML. Its password (a WordPress application password, an API key) comes from the key ring
  (credentials set --server HOST[:PORT] --user USER) or ~/.netrc (machine HOST login USER
  password ...), never from the command line. Plain http:// only to this machine. A blog that
  refuses the login gets nothing more in that run; the other destinations go on. The post's
  address is recorded (history shows it).
  --article FILE  the article text (articles separated by -----into-----)
  --to ADDR|URL   a destination: a mail address or a blog's URL; may be given several times
  --to-file FILE  destinations, one per line
  --server HOST, --port PORT, --from ADDR
                  the SMTP server and the sender; needed only when a destination is a mail
                  address
  --header FILE, --footer FILE
                  text put before and after each message body
  --pause SECONDS pause after each message that went out (default 60; 0 or more)
  --dry-run       send nothing; print every message and post that would go out
  --draft         post to blogs as drafts (also [Qubopost] Draft=1 in the settings file);
                  mail destinations are not affected
  --input-encoding
                  utf-8 (default) or sjis: the encoding of the files
  --restart       start over even when an earlier run of the same inputs did not finish
  --resend-uncertain
                  when resuming, send again the messages whose result is unknown (the
                  connection broke after the final "."): they may arrive twice
  --retry-failed  after a finished run with failures, send only the failed messages
  --again         post again what a finished run of the same inputs already posted
  --no-journal    post without recording the run (it cannot be resumed)
  --tls-trust-file FILE
                  PEM file of a private certificate authority to trust (default: the
                  settings file's [Qubopost] TrustFile=)
  --settings FILE the settings file (default: the one the window uses)
  Every run is recorded whole in $XDG_STATE_HOME/qubopost/history.sqlite3 (a journal that
  cannot be opened, checked or written stops the run before anything is sent). A run with the
  same inputs as an earlier one that was stopped or killed resumes: what went out is not sent
  again. The same inputs as a finished run post nothing unless --again, --retry-failed or
  --resend-uncertain. One process at a time posts a run; a second one says which process
  owns it. The next message never goes out sooner than the pause after the last message sent
  to that server, also across processes. Each log line is printed as it is written, then
  the final message. The exit status is 0 exactly when every message went out; 2 for input
  errors.

resume: finishes the newest unfinished run (or RUN) from the journal alone, without its
  input files: sent messages are skipped, uncertain ones sent only with --resend-uncertain.
  A run posted as drafts goes on as drafts (--draft makes every blog post of it a draft).
  With nothing to resume it says so and exits 0.

history: the recorded runs, newest first, with the address of each blog post; --run ID lists
  that run's messages (a post's address under its message).

credentials: stores the password of an SMTP server or a blog (HOST as in its URL) in the desktop
  key ring (Secret Service), removes it, or lists the stored hosts and users (never passwords).

Errors go to standard error with a non-zero exit status.
)",
                                   ""};

inline constexpr Message kCliNeedsValue{"{1} の後に値を指定してください。", "{1} needs a value"};
inline constexpr Message kCliGivenTwice{"{1} が 2 回指定されています。1 回だけ指定してください。",
                                        "{1} was given twice; give it once"};
inline constexpr Message kCliUnknownOption{"知らないオプションです: {1}（--help で使い方を確かめてください）。",
                                           "unknown option {1} (see --help)"};
inline constexpr Message kCliUnknownCommand{"知らないコマンドです: {1}（--help で使い方を確かめてください）。",
                                            "unknown command {1} (see --help)"};
inline constexpr Message kCliKindInvalid{"--kind は monthly、daily、pickup のどれかで指定してください。",
                                         "--kind must be monthly, daily or pickup"};
inline constexpr Message kCliProductInvalid{"--product は download、mailmag、goods のどれかで指定してください。",
                                            "--product must be download, mailmag or goods"};
inline constexpr Message kCliOutputEncodingInvalid{"--output-encoding は utf-8 か sjis で指定してください。",
                                                   "--output-encoding must be utf-8 or sjis"};
inline constexpr Message kCliInputEncodingInvalid{"--input-encoding は utf-8 か sjis で指定してください。",
                                                  "--input-encoding must be utf-8 or sjis"};
inline constexpr Message kCliArticleRequired{"--article で記事のファイルを指定してください。", "--article is required"};
inline constexpr Message kCliDestinationRequired{"--to か --to-file で投稿先を指定してください。", "give --to or --to-file"};
inline constexpr Message kCliMailOptionRequired{"{1} を指定してください（投稿先にメールアドレスがあります）。",
                                                "{1} is required (a destination is a mail address)"};
inline constexpr Message kCliNetworkUnavailable{"ネットワークのライブラリを開始できませんでした。",
                                                "the network library could not be started"};
inline constexpr Message kCliSettingsMissing{
    "--settings のファイル {1} がありません（{2}）。パスを確かめてください。",
    "The --settings file {1} does not exist ({2}). Check the path."};
inline constexpr Message kCliSettingsIsFolder{"--settings の {1} はフォルダーです。設定ファイルを指定してください。",
                                              "--settings {1} is a folder. Give a settings file."};
inline constexpr Message kCliSettingsUnreadable{"--settings のファイル {1} を読めません（{2}）。",
                                                "Cannot read the --settings file {1} ({2})."};
inline constexpr Message kCliRankingHostInvalid{
    "ランキングサービスのホスト「{1}」が正しくありません。HOST または HOST:PORT の形で指定してください。",
    "The ranking service host \"{1}\" is not valid. Write it as HOST or HOST:PORT."};
inline constexpr Message kCliNulBytesDropped{
    "ランキングページの記事になる部分にあった NUL バイト {1} 個は文字ではないため、取り除きました。",
    "NUL bytes removed from the article part of the ranking page (they are no text): {1}"};
inline constexpr Message kCliPauseInvalid{"--pause は 0 以上 86400 以下の秒数で指定してください（「{1}」）。",
                                          "--pause takes a number of seconds from 0 to 86400 (got \"{1}\")."};
inline constexpr Message kCliToHasLineBreak{"--to のアドレスに改行が含まれています。",
                                            "A --to address contains a line break."};
inline constexpr Message kCliServerHasPort{
    "--server にはホスト名だけを書き、ポート番号は --port で指定してください（「{1}」）。",
    "Give --server the host name only and the port number with --port (got \"{1}\")."};
inline constexpr Message kCliPortInvalid{"--port は 1～65535 の数字で指定してください（「{1}」）。",
                                         "--port takes a number from 1 to 65535 (got \"{1}\")."};
inline constexpr Message kCliRestartConflicts{"--restart は --retry-failed、--resend-uncertain と一緒には使えません。",
                                              "--restart cannot be used with --retry-failed or --resend-uncertain."};
inline constexpr Message kCliAgainConflicts{"--again は --retry-failed、--resend-uncertain と一緒には使えません。",
                                            "--again cannot be used with --retry-failed or --resend-uncertain."};
inline constexpr Message kCliUnsendableCharacter{"{1} に送れない文字があります: {2}",
                                                 "{1} holds a character that cannot be sent: {2}"};
inline constexpr Message kCliNoArticles{
    "記事に投稿できる記事がありません。記事は「-----into-----」で区切ります（区切りが 2 つ以上必要です）。",
    "The article file holds no article to post. Articles are separated by \"-----into-----\" (at least two "
    "separators are needed)."};
inline constexpr Message kCliNoDestinations{"投稿先のアドレスがありません（--to または --to-file）。",
                                            "No destination address (give --to or --to-file)."};
inline constexpr Message kCliDisclosureNote{"注意: {1}（--header のファイルの先頭に入れてください）",
                                            "Note: {1} (put it at the top of the --header file)"};
inline constexpr Message kCliDryRunMails{"{1} 通のメールを表示しました（--dry-run のため何も送っていません）。",
                                         "Mail messages shown: {1}. Nothing was sent (--dry-run)."};
inline constexpr Message kCliDryRunMailsAndPosts{
    "{1} 通のメールと {2} 件のブログへの投稿を表示しました（--dry-run のため何も送っていません）。",
    "Mail messages shown: {1}, blog posts shown: {2}. Nothing was sent (--dry-run)."};
inline constexpr Message kCliTrustFileUnreadable{"信頼する証明書のファイル {1} を読めません。",
                                                 "Cannot read the trusted certificate file {1}."};
inline constexpr Message kCliNoJournal{
    "--no-journal: この投稿は投稿履歴に記録しません。止めたり中断したりすると、続きから再開できません。",
    "--no-journal: this run is not recorded in the posting history. If it stops or is interrupted, it cannot be "
    "resumed."};
inline constexpr Message kCliHistoryUnavailable{"投稿履歴を開けません: {1}", "Cannot open the posting history: {1}"};
inline constexpr Message kCliRunNumberInvalid{"--run には履歴の番号を指定してください。",
                                              "--run takes a run number from the history."};
inline constexpr Message kCliResumeNumberInvalid{
    "resume の後には投稿履歴の番号を指定してください（「{1}」）。",
    "resume takes a run number from the posting history (got \"{1}\")."};
inline constexpr Message kCliMailLibraryMissing{"インポートライブラリが読み込めません。",
                                                "The mail library could not be loaded."};
inline constexpr Message kCliConverterUnavailable{"関数のアドレスの取得に失敗しました。",
                                                  "The character conversion library could not be loaded."};
// kept byte for byte: the first line of a failed fetch, as the window shows it and scripts match
// it; Japanese in both languages (no English form).
inline constexpr Message kCliNetworkError{"通信エラー", ""};

// ---- qubopost-cli: the questions of a run, answered from its options, and the run's end ------

inline constexpr Message kCliResuming{
    "前回中断した投稿を続きから再開します（{1} 番、{2} 開始。全 {3} 通のうち送信済み {4} 通は送りません。"
    "最初からやり直すには --restart）。",
    "Resuming the interrupted run {1} (started {2}). Messages in all: {3}; the {4} already sent are not sent "
    "again. To start over, use --restart."};
inline constexpr Message kCliUncertainWaiting{
    "送信結果が不明のメールが {1} 通あります。届いていないことを確かめたら --resend-uncertain で送れます:",
    "Messages whose result is unknown: {1}. Once you have checked they did not arrive, --resend-uncertain sends "
    "them:"};
inline constexpr Message kCliAlreadyPosted{
    "この内容は {1} に投稿済みです（{2} 番: 送信 {3} 通、失敗 {4} 通、不明 {5} 通）。何も送っていません。\n"
    "失敗したメールだけを送るには --retry-failed、結果が不明のメールも送るには --resend-uncertain、"
    "もう一度すべて送るには --again を付けてください。",
    "These inputs were already posted at {1} (run {2}: sent {3}, failed {4}, unknown {5}). Nothing was sent.\n"
    "To send only the failed messages add --retry-failed, to send those with an unknown result too "
    "--resend-uncertain, to send everything again --again."};
inline constexpr Message kCliPostingDone{"ブログへの自動投稿が完了しました。", "Posting finished: every message went out."};
inline constexpr Message kCliPostingFailed{
    "ブログへの投稿に失敗しました。\nSMTPサーバ名：SMTPポート番号：投稿先メールアドレス 等を再度ご確認下さい。",
    "Posting failed.\nCheck the SMTP server name, the SMTP port and the destination addresses."};
inline constexpr Message kCliStopped{"投稿を停止しました。送信済み {1} 通、未送信 {2} 通です。",
                                     "Posting stopped. Sent: {1}, not sent: {2}."};
inline constexpr Message kCliResumeHint{"qubopost-cli resume で続きから再開します。",
                                        " qubopost-cli resume goes on from there."};
inline constexpr Message kCliBlogLoginRefused{
    "ブログ {1} がログインを受け付けなかったため、この投稿先には残りを投稿していません。{2}"
    "設定し直したら qubopost-cli resume で続きを投稿できます。",
    "The blog {1} refused the login, so nothing more was posted to it. {2} Once that is set right, "
    "qubopost-cli resume posts the rest."};
inline constexpr Message kCliSmtpLoginRefused{
    "SMTPサーバがユーザー名またはパスワードを受け付けませんでした。qubopost-cli credentials set で保存し直してください。"
    "未送信 {1} 通。",
    "The SMTP server refused the user name or password. Store them again with qubopost-cli credentials set. "
    "Not sent: {1}."};
inline constexpr Message kCliUncertainAfterRun{
    "送信結果が不明のメールが {1} 通あります。ブログに届いたか確かめ、届いていなければ --resend-uncertain "
    "で送ってください。",
    "Messages whose result is unknown: {1}. Check whether they arrived; if not, send them with "
    "--resend-uncertain."};

// ---- posting/: the posting engine (the window and qubopost-cli) ---------------------------------

// The local time of a run, "12月7日 15:20": {1} month, {2} day, {3} hour, {4} minute (two digits).
inline constexpr Message kShortLocalTime{"{1}月{2}日 {3}:{4}", "{1}/{2} {3}:{4}"};
inline constexpr Message kEngineJournalUnusable{"投稿履歴を使えないため、投稿しませんでした（何も送っていません）。\n{1}",
                                                "The posting history cannot be used, so nothing was posted (nothing "
                                                "was sent).\n{1}"};
inline constexpr Message kEngineJournalUnreadable{
    "投稿履歴を読めないため、投稿しませんでした（何も送っていません）。\n{1}",
    "The posting history cannot be read, so nothing was posted (nothing was sent).\n{1}"};
inline constexpr Message kEngineNothingToRetry{"前回の投稿に、送り直すメールはありません。",
                                               "The last run has no message to send again."};
inline constexpr Message kEngineResumeNeedsJournal{"投稿履歴なしでは、中断した投稿を再開できません。",
                                                   "An interrupted run cannot be resumed without the posting history."};
inline constexpr Message kEngineNothingToResume{"再開できる未完了の投稿はありません。",
                                                "There is no unfinished run to resume."};
inline constexpr Message kEngineNoSuchRun{
    "投稿履歴に {1} 番の投稿はありません（qubopost-cli history で番号を確かめてください）。",
    "The posting history has no run {1} (qubopost-cli history lists the numbers)."};
inline constexpr Message kEngineRunNotStored{
    "{1} 番の投稿は、内容を投稿履歴に残さない版で記録されたため、履歴だけからは再開できません。"
    "同じ内容でもう一度投稿すると続きから再開できます。",
    "Run {1} was recorded by a version that did not keep its contents, so it cannot be resumed from the history "
    "alone. Post the same inputs again to go on from where it stopped."};
inline constexpr Message kEngineRunAlreadyDone{
    "{1} 番の投稿は、もう終わっているか、あとの投稿が続きを送りました。再開するものはありません。",
    "Run {1} has finished, or a later run sent the rest. There is nothing to resume."};
inline constexpr Message kEngineCannotRecord{
    "投稿履歴に記録できないため、投稿しませんでした（何も送っていません）。{1}",
    "The run cannot be recorded in the posting history, so nothing was posted (nothing was sent). {1}"};
inline constexpr Message kEngineDraftMailOnly{
    "下書きとして投稿する設定は、メールの投稿先には関係ありません（メールはそのまま送ります）。",
    "Posting as drafts does not apply to mail destinations (the mail goes out as it is)."};
inline constexpr Message kEngineDraftBlogAndMail{
    "ブログの API への投稿は下書きとして投稿します（メールの投稿先には関係なく、メールはそのまま送ります）。",
    "Blog posts go up as drafts (mail destinations are not affected; the mail goes out as it is)."};
inline constexpr Message kEngineDraftBlog{"ブログの API への投稿は下書きとして投稿します。", "Blog posts go up as drafts."};

// ---- posting/: destinations, input files, the disclosure check ---------------------------------

inline constexpr Message kDestinationNotBlogUrl{"投稿先ブログアドレスの {1} 行目「{2}」はブログの URL として使えません。{3}",
                                                "Destination line {1} \"{2}\" cannot be used as a blog URL. {3}"};
inline constexpr Message kDestinationNeedsOneAt{
    "投稿先ブログアドレスの {1} 行目「{2}」には「@」がちょうど 1 つ必要です（ブログの API に投稿するときは "
    "https://ユーザー名@ブログのホスト/ の形で書きます）。",
    "Destination line {1} \"{2}\" needs exactly one \"@\" (a blog is written as https://USER@BLOG-HOST/)."};
inline constexpr Message kBlogPasswordAdvice{
    "パスワード（WordPress のアプリケーションパスワード、はてなブログの API キーなど）は、右クリックメニューの"
    "「SMTP認証の設定…」でサーバ {1}、ユーザー名 {2} として保存してください（コマンドラインでは "
    "qubopost-cli credentials set --server {1} --user {2}、または ~/.netrc に machine {3} login {2} password …）。",
    "Store the password (a WordPress application password, a Hatena Blog API key, ...) for server {1}, user {2}: "
    "qubopost-cli credentials set --server {1} --user {2}, or a line \"machine {3} login {2} password ...\" in "
    "~/.netrc."};
inline constexpr Message kInputFileIsFolder{"{1} はフォルダーです。ファイルを指定してください。",
                                            "{1} is a folder. Give a file."};
inline constexpr Message kInputFileUnreadable{"{1} を読めません: {2}", "Cannot read {1}: {2}"};
inline constexpr Message kInputFileNulByte{"{1} の {2} 行目に NUL バイトがあります。テキストファイルを指定してください。",
                                           "{1} has a NUL byte in line {2}. Give a text file."};
inline constexpr Message kInputFileInvalidSjis{"{1} の {2} 行目に Shift-JIS として正しくないバイトがあります。",
                                               "{1} has bytes that are not valid Shift-JIS in line {2}."};
inline constexpr Message kInputFileInvalidUtf8{
    "{1} の {2} 行目に UTF-8 として正しくないバイトがあります。Shift-JIS のファイルなら --input-encoding sjis "
    "を付けてください。",
    "{1} has bytes that are not valid UTF-8 in line {2}. If the file is Shift-JIS, add --input-encoding sjis."};
// {1} is the suggested line (kDisclosureLine, kept byte for byte: it is put into the header).
inline constexpr Message kDisclosureWarning{
    "ヘッダー、フッター、記事のどこにも広告であることの表示（「PR」「広告」「プロモーション」「アフィリエイト」）が"
    "ありません。アフィリエイトリンクを含む記事は、広告であることを示さないとステルスマーケティングとして"
    "景品表示法の規制を受けます（2023年10月1日から）。ヘッダーに「{1}」と入れることをお勧めします。"
    "このままでも投稿はできます。",
    "Neither the header, the footer nor the article marks the text as advertising (PR, or one of the Japanese "
    "words for it). Since 2023-10-01 Japanese law treats affiliate articles without that mark as stealth "
    "marketing. Putting \"{1}\" in the header is recommended. Posting works without it."};

// ---- article/: generating the article ----------------------------------------------------------

inline constexpr Message kGenerateNoProducts{
    "ランキングページに商品のリンクが一つもなかったため、記事を作成しませんでした。"
    "ランキングサービスがメンテナンス中か、ページの形が変わった可能性があります。"
    "時間をおいてもう一度お試しください。",
    "The ranking page has no product link, so no article was made. The ranking service may be under maintenance "
    "or its page may have changed. Try again later."};
// {2}: the system's reason in brackets, or nothing.
inline constexpr Message kGeneratePageUnreadable{
    "ランキングページのファイル「{1}」を読み込めませんでした{2}。ファイル名と読み取りの権限を確認してください。",
    "Cannot read the ranking page file \"{1}\"{2}. Check the file name and the read permission."};
inline constexpr Message kGenerateConverterUnavailable{
    "文字コードの変換機能を使えないため、記事を作成できませんでした。"
    "ICU のデータ（libicu）が正しくインストールされているか確認してください。",
    "No article was made: character conversion is not available. Check that ICU (libicu) and its data are "
    "installed."};
inline constexpr Message kGenerateWriteFailed{
    "記事を最後まで書き出せませんでした{1}。出力先のディスクの空き容量や、パイプの先のプログラムが終了していないかを確認してください。",
    "The article could not be written out completely{1}. Check the free disk space, or whether the program the "
    "output goes to has ended."};
// A system reason put after a text: "（reason）".
inline constexpr Message kReasonInBrackets{"（{1}）", " ({1})"};

// ---- settings/: the settings file -----------------------------------------------------------------

inline constexpr Message kSettingsIsFolder{"フォルダーです", "it is a folder"};
inline constexpr Message kSettingsNotRegularFile{"通常のファイルではありません（FIFO やデバイスなど）",
                                                 "it is not a regular file (a FIFO, a device or the like)"};
inline constexpr Message kSettingsNotWrittenNotRegular{"通常のファイルではないため書き込みません",
                                                       "not written: it is not a regular file"};
inline constexpr Message kSettingsReadOnly{"読み取り専用のファイルです。書き込みを許可すると保存できます",
                                           "the file is read-only; allow writing to save it"};

// ---- platform/: characters a field or file cannot carry -----------------------------------------

// {1} the character as typed, {2} its code point (U+XXXX), {3} line, {4} column.
inline constexpr Message kUnmappableCharacter{"「{1}」（{2}）{3} 行目 {4} 文字目",
                                              "\"{1}\" ({2}) in line {3}, column {4}"};
inline constexpr Message kUnmappableNotUtf8{"（UTF-8 でないバイト）（{1}）{2} 行目 {3} 文字目",
                                            "a byte that is not UTF-8 ({1}) in line {2}, column {3}"};
inline constexpr Message kControlCharacter{"制御文字（{1}）{2} 行目 {3} 文字目",
                                           "control character ({1}) in line {2}, column {3}"};
inline constexpr Message kControlNotUtf8{"UTF-8 でないバイト、{1} 行目 {2} 文字目",
                                         "a byte that is not UTF-8, line {1}, column {2}"};

// @@LAYERS@@

}  // namespace qubopost::messages
