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
inline constexpr Message kCliUnknownOption{
    "知らないオプションです: {1}（--help で使い方を確かめてください）。",
    "unknown option {1} (see --help)"};
inline constexpr Message kCliUnknownCommand{
    "知らないコマンドです: {1}（--help で使い方を確かめてください）。",
    "unknown command {1} (see --help)"};
inline constexpr Message kCliKindInvalid{
    "--kind は monthly、daily、pickup のどれかで指定してください。",
    "--kind must be monthly, daily or pickup"};
inline constexpr Message kCliProductInvalid{
    "--product は download、mailmag、goods のどれかで指定してください。",
    "--product must be download, mailmag or goods"};
inline constexpr Message kCliOutputEncodingInvalid{
    "--output-encoding は utf-8 か sjis で指定してください。",
    "--output-encoding must be utf-8 or sjis"};
inline constexpr Message kCliInputEncodingInvalid{
    "--input-encoding は utf-8 か sjis で指定してください。",
    "--input-encoding must be utf-8 or sjis"};
inline constexpr Message kCliArticleRequired{"--article で記事のファイルを指定してください。",
                                             "--article is required"};
inline constexpr Message kCliDestinationRequired{"--to か --to-file で投稿先を指定してください。",
                                                 "give --to or --to-file"};
inline constexpr Message kCliMailOptionRequired{
    "{1} を指定してください（投稿先にメールアドレスがあります）。",
    "{1} is required (a destination is a mail address)"};
inline constexpr Message kCliNetworkUnavailable{"ネットワークのライブラリを開始できませんでした。",
                                                "the network library could not be started"};
inline constexpr Message kCliSettingsMissing{
    "--settings のファイル {1} がありません（{2}）。パスを確かめてください。",
    "The --settings file {1} does not exist ({2}). Check the path."};
inline constexpr Message kCliSettingsIsFolder{
    "--settings の {1} はフォルダーです。設定ファイルを指定してください。",
    "--settings {1} is a folder. Give a settings file."};
inline constexpr Message kCliSettingsUnreadable{"--settings のファイル {1} を読めません（{2}）。",
                                                "Cannot read the --settings file {1} ({2})."};
inline constexpr Message kCliRankingHostInvalid{
    "ランキングサービスのホスト「{1}」が正しくありません。HOST または HOST:PORT の形で指定してください。",
    "The ranking service host \"{1}\" is not valid. Write it as HOST or HOST:PORT."};
inline constexpr Message kCliNulBytesDropped{
    "ランキングページの記事になる部分にあった NUL バイト {1} 個は文字ではないため、取り除きました。",
    "NUL bytes removed from the article part of the ranking page (they are no text): {1}"};
inline constexpr Message kCliPauseInvalid{
    "--pause は 0 以上 86400 以下の秒数で指定してください（「{1}」）。",
    "--pause takes a number of seconds from 0 to 86400 (got \"{1}\")."};
inline constexpr Message kCliToHasLineBreak{"--to のアドレスに改行が含まれています。",
                                            "A --to address contains a line break."};
inline constexpr Message kCliServerHasPort{
    "--server にはホスト名だけを書き、ポート番号は --port で指定してください（「{1}」）。",
    "Give --server the host name only and the port number with --port (got \"{1}\")."};
inline constexpr Message kCliPortInvalid{"--port は 1～65535 の数字で指定してください（「{1}」）。",
                                         "--port takes a number from 1 to 65535 (got \"{1}\")."};
inline constexpr Message kCliRestartConflicts{
    "--restart は --retry-failed、--resend-uncertain と一緒には使えません。",
    "--restart cannot be used with --retry-failed or --resend-uncertain."};
inline constexpr Message kCliAgainConflicts{
    "--again は --retry-failed、--resend-uncertain と一緒には使えません。",
    "--again cannot be used with --retry-failed or --resend-uncertain."};
inline constexpr Message kCliUnsendableCharacter{"{1} に送れない文字があります: {2}",
                                                 "{1} holds a character that cannot be sent: {2}"};
inline constexpr Message kCliNoArticles{
    "記事に投稿できる記事がありません。記事は「-----into-----」で区切ります（区切りが 2 つ以上必要です）。",
    "The article file holds no article to post. Articles are separated by \"-----into-----\" (at least two "
    "separators are needed)."};
inline constexpr Message kCliNoDestinations{
    "投稿先のアドレスがありません（--to または --to-file）。",
    "No destination address (give --to or --to-file)."};
inline constexpr Message kCliDisclosureNote{
    "注意: {1}（--header のファイルの先頭に入れてください）",
    "Note: {1} (put it at the top of the --header file)"};
inline constexpr Message kCliDryRunMails{
    "{1} 通のメールを表示しました（--dry-run のため何も送っていません）。",
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
inline constexpr Message kCliHistoryUnavailable{"投稿履歴を開けません: {1}",
                                                "Cannot open the posting history: {1}"};
inline constexpr Message kCliRunNumberInvalid{"--run には履歴の番号を指定してください。",
                                              "--run takes a run number from the history."};
inline constexpr Message kCliResumeNumberInvalid{
    "resume の後には投稿履歴の番号を指定してください（「{1}」）。",
    "resume takes a run number from the posting history (got \"{1}\")."};
inline constexpr Message kCliMailLibraryMissing{"インポートライブラリが読み込めません。",
                                                "The mail library could not be loaded."};
inline constexpr Message kCliConverterUnavailable{
    "関数のアドレスの取得に失敗しました。",
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
inline constexpr Message kCliPostingDone{"ブログへの自動投稿が完了しました。",
                                         "Posting finished: every message went out."};
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
inline constexpr Message kEngineJournalUnusable{
    "投稿履歴を使えないため、投稿しませんでした（何も送っていません）。\n{1}",
    "The posting history cannot be used, so nothing was posted (nothing "
    "was sent).\n{1}"};
inline constexpr Message kEngineJournalUnreadable{
    "投稿履歴を読めないため、投稿しませんでした（何も送っていません）。\n{1}",
    "The posting history cannot be read, so nothing was posted (nothing was sent).\n{1}"};
inline constexpr Message kEngineNothingToRetry{"前回の投稿に、送り直すメールはありません。",
                                               "The last run has no message to send again."};
inline constexpr Message kEngineResumeNeedsJournal{
    "投稿履歴なしでは、中断した投稿を再開できません。",
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
inline constexpr Message kEngineDraftBlog{"ブログの API への投稿は下書きとして投稿します。",
                                          "Blog posts go up as drafts."};

// ---- posting/: destinations, input files, the disclosure check ---------------------------------

inline constexpr Message kDestinationNotBlogUrl{
    "投稿先ブログアドレスの {1} 行目「{2}」はブログの URL として使えません。{3}",
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
inline constexpr Message kInputFileNulByte{
    "{1} の {2} 行目に NUL バイトがあります。テキストファイルを指定してください。",
    "{1} has a NUL byte in line {2}. Give a text file."};
inline constexpr Message kInputFileInvalidSjis{
    "{1} の {2} 行目に Shift-JIS として正しくないバイトがあります。",
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

// ---- settings/: the settings file
// -----------------------------------------------------------------

inline constexpr Message kSettingsIsFolder{"フォルダーです", "it is a folder"};
inline constexpr Message kSettingsNotRegularFile{
    "通常のファイルではありません（FIFO やデバイスなど）",
    "it is not a regular file (a FIFO, a device or the like)"};
inline constexpr Message kSettingsNotWrittenNotRegular{"通常のファイルではないため書き込みません",
                                                       "not written: it is not a regular file"};
inline constexpr Message kSettingsReadOnly{
    "読み取り専用のファイルです。書き込みを許可すると保存できます",
    "the file is read-only; allow writing to save it"};

// ---- platform/: characters a field or file cannot carry -----------------------------------------

// {1} the character as typed, {2} its code point (U+XXXX), {3} line, {4} column.
inline constexpr Message kUnmappableCharacter{"「{1}」（{2}）{3} 行目 {4} 文字目",
                                              "\"{1}\" ({2}) in line {3}, column {4}"};
inline constexpr Message kUnmappableNotUtf8{
    "（UTF-8 でないバイト）（{1}）{2} 行目 {3} 文字目",
    "a byte that is not UTF-8 ({1}) in line {2}, column {3}"};
inline constexpr Message kControlCharacter{"制御文字（{1}）{2} 行目 {3} 文字目",
                                           "control character ({1}) in line {2}, column {3}"};
inline constexpr Message kControlNotUtf8{"UTF-8 でないバイト、{1} 行目 {2} 文字目",
                                         "a byte that is not UTF-8, line {1}, column {2}"};

// ---- journal/: the posting history as text -----------------------------------------------------

// {1} a count's label (kHistorySentLabel ...), {2} the number.
inline constexpr Message kHistoryCount{"{1} {2} 通", "{1} {2}"};
inline constexpr Message kHistorySentLabel{"送信", "sent"};
inline constexpr Message kHistoryFailedLabel{"失敗", "failed"};
inline constexpr Message kHistoryUncertainLabel{"不明", "unknown"};
inline constexpr Message kHistoryPendingLabel{"未送信", "not sent"};
inline constexpr Message kHistoryFinished{"完了", "finished"};
inline constexpr Message kHistoryStopped{"途中で中止", "stopped"};
inline constexpr Message kHistoryNoEnd{"終了の記録なし（送信中か、途中で終了しました）",
                                       "no end recorded (still sending, or it ended midway)"};
inline constexpr Message kHistoryResumes{"・再開 {1} 回", ", resumed {1} times"};
inline constexpr Message kHistoryLastResume{"（最後の再開 {1}）", " (last resumed {1})"};
// {1} run, {2} start, {3} end (or kHistoryNoEndTime), {4} the outcome, {5} kHistoryResumable or
// nothing.
inline constexpr Message kHistoryRunLine{"実行 {1}  {2} 〜 {3}  {4}{5}\n",
                                         "Run {1}  {2} - {3}  {4}{5}\n"};
inline constexpr Message kHistoryNoEndTime{"――――――――", "----------------"};
inline constexpr Message kHistoryResumable{"（再開できます）", " (can be resumed)"};
inline constexpr Message kHistoryCountsLine{"    {1}（全 {2} 通）\n", "    {1} (of {2})\n"};
inline constexpr Message kHistoryServer{"    サーバー {1}\n", "    server {1}\n"};
inline constexpr Message kHistoryStateSent{"送信済み", "sent"};
inline constexpr Message kHistoryStateUncertain{"不明（要確認）", "unknown (check it)"};
inline constexpr Message kHistoryTimeUnknown{"（時刻不明）", "(time unknown)"};
inline constexpr Message kHistoryEmpty{"投稿の記録はまだありません。\n",
                                       "No run has been recorded yet.\n"};
// {1} number, {2} destination, {3} subject.
inline constexpr Message kHistoryMessageLine{"\n  {1} 通目  {2}  「{3}」\n",
                                             "\n  message {1}  {2}  \"{3}\"\n"};
inline constexpr Message kHistoryPostAddress{"      投稿のアドレス {1}\n",
                                             "      post address {1}\n"};
inline constexpr Message kHistoryRunPost{"    {1} 通目の投稿 {2}\n",
                                         "    message {1} posted at {2}\n"};
inline constexpr Message kHistoryNoSuchRun{
    "実行 {1} の記録は投稿履歴にありません。番号は「qubopost-cli history」の一覧で"
    "確かめてください（90 日より前の記録は消えています）。",
    "The posting history has no run {1}. See the numbers in the list of \"qubopost-cli history\" (runs older "
    "than 90 days are removed)."};

// ---- journal/: opening and writing the posting history, the run lock ----------------------------

inline constexpr Message kJournalCannotRead{"投稿履歴を読めませんでした",
                                            "Cannot read the posting history"};
inline constexpr Message kJournalCannotOpen{"投稿履歴を開けませんでした",
                                            "Cannot open the posting history"};
// {1} the file, {2} the system's reason.
inline constexpr Message kJournalOpenFailed{
    "投稿履歴のファイル（{1}）を開けませんでした。{2}。ファイルの場所と読み書きの権限を確かめてください。",
    "Cannot open the posting history file {1}: {2}. Check its place and the read and write permissions."};
// {1} the file, {2} what stands there, {3} what to do (kJournalRelink, kJournalMoveAside).
inline constexpr Message kJournalInTheWay{
    "投稿履歴のファイル（{1}）を開けませんでした。{2}。{3}、もう一度実行してください。"
    "Qubopost が新しい投稿履歴のファイルを作ります。",
    "Cannot open the posting history file {1}: {2}. {3}, then run again; Qubopost makes a new posting history "
    "file."};
inline constexpr Message kJournalLinkLoop{"シンボリックリンクが循環しています（{1}）",
                                          "the symbolic link loops ({1})"};
inline constexpr Message kJournalLinkDangling{"シンボリックリンクの指す先がありません",
                                              "the symbolic link points to nothing"};
inline constexpr Message kJournalRelink{"リンクを消すか正しいファイルに向け直してから",
                                        "Remove the link or point it to the right file"};
inline constexpr Message kJournalMoveAside{"それを別の名前に変えるか別の場所へ移してから",
                                           "Rename it or move it elsewhere"};
inline constexpr Message kJournalPlaceIsFolder{"この場所はフォルダです", "a folder is there"};
inline constexpr Message kJournalPlaceNotFile{"この場所にあるのは普通のファイルではありません",
                                              "what is there is not a regular file"};
inline constexpr Message kDurationSeconds{"{1} 秒", "{1} s"};
inline constexpr Message kDurationMilliseconds{"{1} ミリ秒", "{1} ms"};
inline constexpr Message kJournalFolderFailed{
    "投稿履歴のフォルダ（{1}）を作れませんでした。{2}。フォルダの場所と書き込みの権限を確かめてください。",
    "Cannot create the posting history folder {1}: {2}. Check its place and the write permission."};
// {1} the file, {2} the file's format, {3} the newest format this version reads.
inline constexpr Message kJournalNewerFormat{
    "投稿履歴のファイル（{1}）は、新しい版の Qubopost が書いた形式（第 {2} 版、この版が読めるのは第 {3} "
    "版まで）のため開けませんでした。ファイルは変更していません。新しい版の Qubopost を使ってください。",
    "Cannot open the posting history file {1}: a newer Qubopost wrote it (format {2}; this version reads up to "
    "format {3}). The file was not changed. Use the newer Qubopost."};
inline constexpr Message kJournalCannotMigrate{
    "投稿履歴のファイルを今の形式に更新できませんでした",
    "Cannot update the posting history file to the current format"};
inline constexpr Message kJournalMigrateFailed{
    "投稿履歴のファイル（{1}）を今の形式に更新できませんでした。SQLite: {2}。ファイルは元のまま残っています。"
    "このファイルを別の名前に変えるか別の場所へ移してから、もう一度実行してください。Qubopost が新しい投稿履歴の"
    "ファイルを作ります。",
    "Cannot update the posting history file {1} to the current format. SQLite: {2}. The file is left as it was. "
    "Rename it or move it elsewhere, then run again; Qubopost makes a new posting history file."};
inline constexpr Message kJournalCannotRecord{"投稿履歴に記録できません",
                                              "Cannot record in the posting history"};
// {1} what failed (kJournalCannot...), {2} the file, then: {3} how long it waited, {4} SQLite's
// reason.
inline constexpr Message kJournalBusy{
    "{1}。投稿履歴のファイル（{2}）は別のプロセス（Qubopost の別のウィンドウか qubopost-cli）が使っていて、"
    "{3}待っても空きませんでした（SQLite: {4}）。そのプロセスが終わるのを待ってから、もう一度実行してください。",
    "{1}. Another process (another Qubopost window or qubopost-cli) is using the posting history file {2} and "
    "did not let go of it within {3} (SQLite: {4}). Wait until that process ends, then run again."};
inline constexpr Message kJournalReadOnly{
    "{1}。投稿履歴のファイル（{2}）に書き込めません（SQLite: {3}）。ファイルとそのフォルダに書き込みの権限が"
    "あるか（例: chmod u+w）確かめてください。",
    "{1}. Cannot write to the posting history file {2} (SQLite: {3}). Check that the file and its folder are "
    "writable (e.g. chmod u+w)."};
inline constexpr Message kJournalDamaged{
    "{1}。投稿履歴のファイル（{2}）は壊れているか、投稿履歴のファイルではありません（SQLite: {3}）。"
    "このファイルを別の名前に変えるか別の場所へ移してから、もう一度実行してください。Qubopost が新しい"
    "投稿履歴のファイルを作ります。移したファイルはそのまま残ります。",
    "{1}. The posting history file {2} is damaged or is no posting history file (SQLite: {3}). Rename it or "
    "move it elsewhere, then run again; Qubopost makes a new posting history file and leaves the moved one as "
    "it is."};
inline constexpr Message kJournalWriteFailed{
    "{1}。投稿履歴のファイル（{2}）: {3}。ディスクの空きとファイルの書き込みの権限を確かめてください。",
    "{1}. The posting history file {2}: {3}. Check the free disk space and the file's write permission."};
inline constexpr Message kJournalCannotRecordStart{
    "投稿の開始を投稿履歴に記録できませんでした",
    "Cannot record the start of the run in the posting history"};
inline constexpr Message kJournalNumbersInvalid{
    "{1}。メッセージの番号 {2} は 1 から {3} までに一度ずつではありません。",
    "{1}. Message number {2} breaks the rule of each number from 1 to {3} once."};
inline constexpr Message kJournalBodyMissing{
    "{1}。{2} 通目のグループ {3} の本文がありません（本文は {4} 個）。",
    "{1}. Message {2}: its group {3} has no body (bodies: {4})."};
inline constexpr Message kJournalCannotRecordResult{
    "送信結果を投稿履歴に記録できませんでした",
    "Cannot record a message's result in the posting history"};
// {1} what failed, {2} run, {3} message number.
inline constexpr Message kJournalNoSuchMessage{
    "{1}。投稿履歴に実行 {2} の {3} 通目はありません。",
    "{1}. The posting history has no message {3} in run {2}."};
inline constexpr Message kJournalAlreadySent{
    "{1}。実行 {2} の {3} 通目は、すでに送信済みとして記録されています。",
    "{1}. Message {3} of run {2} is already recorded as sent."};
inline constexpr Message kJournalCannotRecordEnd{
    "投稿の終わりを投稿履歴に記録できませんでした",
    "Cannot record the end of the run in the posting history"};
inline constexpr Message kJournalCannotRecordResume{
    "投稿の再開を投稿履歴に記録できませんでした",
    "Cannot record the resuming of the run in the posting history"};
inline constexpr Message kJournalNoSuchRunToUpdate{"{1}。投稿履歴に実行 {2} はありません。",
                                                   "{1}. The posting history has no run {2}."};
inline constexpr Message kJournalCannotPrune{"古い投稿履歴を消せませんでした",
                                             "Cannot remove old runs from the posting history"};
// {1} what failed (kLock...), {2} the path, {3} the system's reason.
inline constexpr Message kLockFailed{
    "投稿のロックの{1}（{2}）{3}。その場所と書き込みの権限を確かめてください。",
    "The run lock {1} ({2}): {3}. Check that place and the write permission."};
inline constexpr Message kLockFolderFailed{"フォルダを作れませんでした",
                                           "folder cannot be created"};
inline constexpr Message kLockOpenFailed{"ファイルを開けませんでした", "file cannot be opened"};
inline constexpr Message kLockLockFailed{"ファイルをロックできませんでした",
                                         "file cannot be locked"};
inline constexpr Message kLockWriteFailed{"ファイルに書けませんでした", "file cannot be written"};
inline constexpr Message kLockNameInvalid{
    "投稿のロックの名前「{1}」は使えません（英数字と - _ の 128 文字まで）。プログラムの誤りです。",
    "The run lock name \"{1}\" cannot be used (up to 128 letters, digits, - and _). This is a program error."};
inline constexpr Message kLockHeld{"この投稿は別のプロセスが実行中です",
                                   "Another process is posting this run."};
inline constexpr Message kLockHeldBy{"この投稿は別のプロセス（PID {1}）が実行中です",
                                     "Another process (PID {1}) is posting this run."};

// ---- credentials/: the key ring, and the credentials command of qubopost-cli
// ----------------------

inline constexpr Message kKeyRingGaveUp{"キーリングを待つのをやめました",
                                        "stopped waiting for the key ring"};
inline constexpr Message kKeyRingPromptNoAnswer{"ロック解除の画面に時間内に答えがありませんでした",
                                                "the unlock prompt got no answer in time"};
inline constexpr Message kKeyRingNoReply{"キーリングが {1} 秒以内に応答しませんでした",
                                         "the key ring did not answer within {1} seconds"};
// The service's own words (often English already) after a lead-in.
inline constexpr Message kKeyRingServiceWords{"キーリングの応答: {1}", "the key ring says: {1}"};
inline constexpr Message kKeyRingServiceError{"キーリングがエラーを返しました",
                                              "the key ring returned an error"};
inline constexpr Message kKeyRingNotUnlocked{"キーリングのロックが解除されていません",
                                             "the key ring is not unlocked"};
inline constexpr Message kKeyRingTimedOut{"キーリングが時間内に応答しませんでした",
                                          "the key ring did not answer in time"};
inline constexpr Message kKeyRingPromptDismissed{
    "ロック解除の画面が閉じられたか、表示できませんでした",
    "the unlock prompt was closed or could not be shown"};
inline constexpr Message kKeyRingCannotUnlock{"キーリングのロックを解除できませんでした",
                                              "the key ring could not be unlocked"};
inline constexpr Message kKeyRingNoLogin{"キーリングにはこのサーバのログイン情報がありません。",
                                         "The key ring holds no login for this server."};
inline constexpr Message kKeyRingUnavailable{
    "キーリングを使えませんでした。D-Bus のセッションバスに Secret Service "
    "（gnome-keyring など）が見つかりません。デスクトップにログインした状態で使うか、"
    "~/.netrc に「machine ホスト名 login ユーザー名 password パスワード」の行を書いて"
    "ください（ファイルの権限は 600 にしてください）。",
    "Cannot use the key ring: there is no Secret Service (gnome-keyring or the like) on the D-Bus session bus. "
    "Use it while logged in to the desktop, or write a line \"machine HOST login USER password PASSWORD\" in "
    "~/.netrc (with file mode 600)."};
// {1} the reason (kReasonInBrackets) or nothing, {2} how to try again.
inline constexpr Message kKeyRingLocked{
    "キーリングがロックされています{1}。デスクトップに出るロック解除の画面でキーリングのパスワードを入力して、{2}"
    "画面が出ない場合は、「パスワードと鍵」（seahorse）などでキーリングのロックを解除してからにしてください。",
    "The key ring is locked{1}. Enter its password in the unlock prompt the desktop shows. {2} If no prompt "
    "shows, unlock the key ring first (with seahorse, \"Passwords and Keys\", or the like)."};
inline constexpr Message kKeyRingCancelled{"キーリングを待つのをやめました。{1}",
                                           "Stopped waiting for the key ring. {1}"};
inline constexpr Message kKeyRingFailed{"キーリングを使えませんでした{1}。しばらく待ってから{2}",
                                        "Cannot use the key ring{1}. Wait a while. {2}"};
inline constexpr Message kCredentialsUsageHeading{"使い方:", "Usage:"};
inline constexpr Message kCredentialsRetry{"もう一度実行してください。",
                                           "Then run the command again."};
inline constexpr Message kCredentialsPasswordPrompt{"パスワード: ", "Password: "};
inline constexpr Message kCredentialsUnknownOption{"知らないオプションです: {1}",
                                                   "unknown option {1}"};
inline constexpr Message kCredentialsNeedsValue{"{1} の後に値がありません。", "{1} needs a value."};
inline constexpr Message kCredentialsNoPassword{
    "パスワードを読めませんでした。標準入力からパスワードを 1 行で渡してください。",
    "Cannot read the password. Give it as one line on standard input."};
inline constexpr Message kCredentialsStored{
    "{1} のユーザー {2} のパスワードをキーリングに保存しました。",
    "Stored the password of user {2} for {1} in the key ring."};
// {1} what failed, {2} the key ring's problem (KeyRingProblemText).
inline constexpr Message kCredentialsProblem{"{1}{2}", "{1} {2}"};
inline constexpr Message kCredentialsCannotStore{"パスワードを保存できませんでした。",
                                                 "Cannot store the password."};
inline constexpr Message kCredentialsForgotten{"{1} のログイン情報をキーリングから削除しました。",
                                               "Removed the login for {1} from the key ring."};
inline constexpr Message kCredentialsNotStored{
    "{1} のログイン情報はキーリングに保存されていません。"
    "「qubopost-cli credentials list」で保存されているものを確認できます。",
    "The key ring holds no login for {1}. \"qubopost-cli credentials list\" shows what is stored."};
inline constexpr Message kCredentialsCannotForget{"ログイン情報を削除できませんでした。",
                                                  "Cannot remove the login."};
inline constexpr Message kCredentialsCannotList{"ログイン情報の一覧を読めませんでした。",
                                                "Cannot read the list of logins."};
inline constexpr Message kCredentialsActionMissing{
    "credentials の後に set、forget または list を指定してください。",
    "Give set, forget or list after credentials."};
inline constexpr Message kCredentialsSetNeeds{"set には --server と --user の両方が必要です。",
                                              "set needs both --server and --user."};
inline constexpr Message kCredentialsForgetNeeds{"forget には --server が必要です。",
                                                 "forget needs --server."};
inline constexpr Message kCredentialsListNoOptions{"list にオプションはありません。",
                                                   "list takes no options."};
inline constexpr Message kCredentialsUnknownAction{"知らない操作です: {1}", "unknown action {1}"};

// ---- blogapi/: blog destinations and the blogs' APIs
// ---------------------------------------------

inline constexpr Message kBlogUrlForm{"（https://ユーザー名@ホスト/ の形で書いてください）",
                                      " (write it as https://USER@HOST/)"};
// {1} kBlogUrlForm.
inline constexpr Message kBlogDestinationEmpty{"送信先が空です{1}", "The destination is empty{1}"};
inline constexpr Message kBlogOutOfMemory{"メモリーが足りません", "Out of memory"};
// {1} kBlogUrlForm, {2} the destination as written.
inline constexpr Message kBlogNotUrl{"送信先を URL として読めません{1}: {2}",
                                     "The destination cannot be read as a URL{1}: {2}"};
inline constexpr Message kBlogSchemeInvalid{
    "送信先は https:// か http:// の URL で書いてください: {1}",
    "Write the destination as an https:// or http:// URL: {1}"};
inline constexpr Message kBlogNoHost{"送信先の URL にホストがありません{1}",
                                     "The destination URL has no host{1}"};
inline constexpr Message kBlogPasswordInUrl{
    "送信先の URL にパスワードを書かないでください（パスワードはキーリングか ~/.netrc に置きます）",
    "Do not write a password into the destination URL (keep it in the key ring or ~/.netrc)"};
inline constexpr Message kBlogUserControlCharacter{
    "送信先のユーザー名に制御文字があります",
    "The destination's user name holds a control character"};
inline constexpr Message kBlogNoUser{"送信先の URL にユーザー名がありません{1}",
                                     "The destination URL has no user name{1}"};
inline constexpr Message kBlogHttpOnlyLoopback{
    "http:// はこのマシン（ループバック）のサーバーにだけ使えます。https:// にしてください: {1}",
    "http:// is only for a server on this machine (loopback). Use https://: {1}"};
inline constexpr Message kHttpNotUrl{"http:// か https:// の URL ではありません: {1}",
                                     "Not an http:// or https:// URL: {1}"};
inline constexpr Message kHttpAddressUnknown{"ホスト {1} のアドレスが分かりません",
                                             "The address of host {1} cannot be found"};
inline constexpr Message kHttpUnknownHost{"ホスト {1} が見つかりません", "Host {1} not found"};
inline constexpr Message kHttpConnectTimedOut{"時間切れ: {1} に接続できません",
                                              "Timed out: cannot connect to {1}"};
inline constexpr Message kHttpStoppedNothingSent{"止めました（何も送っていません）",
                                                 "Stopped (nothing was sent)"};
inline constexpr Message kHttpNeedsTls{
    "TLS が要ります: {1} はこのマシンではないので、パスワードを http:// で送りません（https:// を使ってください）",
    "TLS is needed: {1} is not this machine, so no password goes over http:// (use https://)"};
inline constexpr Message kHttpAfterSending{"（送った後）", " (after sending)"};
inline constexpr Message kHttpBeforeSent{"（送り終える前）", " (before all was sent)"};
// {1} kHttpAfterSending or kHttpBeforeSent.
inline constexpr Message kHttpStopped{"止めました{1}", "Stopped{1}"};
inline constexpr Message kHttpAnswerTimedOut{"時間切れ: {1} から答えがありません{2}",
                                             "Timed out: no answer from {1}{2}"};
inline constexpr Message kHttpOffRoute{
    "調べたアドレス以外への接続を止めました: {1}",
    "Stopped a connection to an address other than the one looked up: {1}"};
inline constexpr Message kHttpAnswerTooLarge{"答えが大きすぎます: {1}",
                                             "The answer is too large: {1}"};
inline constexpr Message kBlogNoRandom{"乱数が得られません", "No random numbers available"};
inline constexpr Message kBlogAtomNoCollection{
    "AtomPub のサービス文書に記事を受け付けるコレクションがありません",
    "The AtomPub service document has no collection that takes entries"};
inline constexpr Message kBlogAtomNotService{
    "AtomPub のサービス文書でもコレクションでもありません: {1}",
    "Neither an AtomPub service document nor a collection: {1}"};
inline constexpr Message kBlogNeedsTls{
    "TLS が要ります: {1} はこのマシンではないので http:// では送りません（https:// を使ってください）",
    "TLS is needed: {1} is not this machine, so nothing goes over http:// (use https://)"};
inline constexpr Message kBlogNoRestApi{"WordPress の REST API が見つかりません: {1}",
                                        "No WordPress REST API found: {1}"};
inline constexpr Message kBlogNoXmlRpc{"XML-RPC の窓口が見つかりません: {1}",
                                       "No XML-RPC endpoint found: {1}"};
inline constexpr Message kBlogNoApi{"ブログの API が見つかりません: {1}", "No blog API found: {1}"};
inline constexpr Message kBlogAnswerNoLink{"（答えに記事の URL がありません）",
                                           " (the answer holds no URL of the post)"};
inline constexpr Message kBlogRpcUnreadable{"（XML-RPC の答えとして読めません）",
                                            " (not readable as an XML-RPC answer)"};
inline constexpr Message kBlogLinkUnknown{"（記事の URL が分かりません）",
                                          " (the URL of the post is not known)"};
inline constexpr Message kBlogNoLink{"（記事の URL がありません）", " (no URL of the post)"};
inline constexpr Message kBlogApiKindUnknown{"API の種類が分かりません", "Unknown kind of API"};

// ---- posting/: the run's log lines and the advice after a failure
// --------------------------------

inline constexpr Message kSendAgain{
    "直してからもう一度「ブログ投稿開始」を押すと、送れなかったメールから送ります。",
    "Once that is fixed, post again: the messages that did not go out are sent."};
// {1} a reason below, {2} kSendAgain.
inline constexpr Message kReasonThenSendAgain{"{1}{2}", "{1} {2}"};
inline constexpr Message kMailConnectionRefused{
    "SMTPサーバに接続を断られました。サーバ名かポート番号が違うか、サーバが止まっている可能性があります。"
    "SMTPサーバアドレスとポートアドレスを確かめてください。",
    "The SMTP server refused the connection. The server name or port may be wrong, or the server may be down. "
    "Check the SMTP server and the port."};
inline constexpr Message kMailUnknownHost{
    "SMTPサーバが見つかりません。サーバ名の綴りが違うか、ネットワークにつながっていない可能性があります。"
    "SMTPサーバアドレスとネットワークの接続を確かめてください。",
    "The SMTP server cannot be found. Its name may be misspelt, or the network may be down. Check the SMTP "
    "server name and the network connection."};
inline constexpr Message kMailCannotConnect{
    "SMTPサーバに接続できません。ネットワークかファイアウォールが接続を止めている可能性があります。"
    "ネットワークの接続とポートアドレスを確かめてください。",
    "Cannot connect to the SMTP server. The network or a firewall may be blocking the connection. Check the "
    "network connection and the port."};
inline constexpr Message kMailTimedOut{
    "SMTPサーバから時間内に応答がありませんでした。サーバが混んでいるか、ネットワークが不安定な可能性があります。"
    "しばらく待ってから送り直してください。",
    "The SMTP server did not answer in time. It may be busy, or the network may be unstable. Wait a while, then "
    "send again."};
inline constexpr Message kMailCertificateUntrusted{
    "SMTPサーバの証明書を信頼できないため、接続を止めました。自己署名の証明書を使うサーバなら、"
    "その証明書のファイルを設定ファイルの TrustFile に指定してください。",
    "The SMTP server's certificate is not trusted, so the connection was stopped. If the server uses a "
    "self-signed certificate, name its certificate file in TrustFile of the settings file."};
inline constexpr Message kMailCertificateOtherHost{
    "SMTPサーバの証明書は別のホスト名のものです。SMTPサーバアドレスには証明書にあるホスト名を入れてください。",
    "The SMTP server's certificate is for another host name. Give the host name of the certificate as the SMTP "
    "server."};
inline constexpr Message kMailNoStartTls{
    "このサーバは暗号化の STARTTLS に対応していないため、パスワードを送りませんでした。"
    "暗号化できるポート、普通は 587 か 465 を使ってください。",
    "The server does not offer STARTTLS encryption, so the password was not sent. Use a port with encryption, "
    "usually 587 or 465."};
inline constexpr Message kMailTlsFailed{
    "SMTPサーバとの暗号化の接続に失敗しました。ポート番号と暗号化の方式が合っているか確かめてください。"
    "普通は 465 が SMTPS、587 が STARTTLS です。",
    "The encrypted connection to the SMTP server failed. Check that the port and the kind of encryption match: "
    "usually 465 is SMTPS and 587 is STARTTLS."};
inline constexpr Message kMailLoginRefused{
    "SMTPサーバがユーザー名またはパスワードを受け付けませんでした。"
    "右クリックメニューの「SMTP認証の設定…」で保存し直してください。",
    "The SMTP server refused the user name or password. Store them again (qubopost-cli credentials set)."};
inline constexpr Message kMailNoLoginOffered{
    "SMTPサーバがログインを受け付けていません。ユーザー名とパスワードが要らないサーバなら、"
    "「SMTP認証の設定…」で保存したログインを削除してください。",
    "The SMTP server takes no login. If it needs no user name and password, remove the stored login "
    "(qubopost-cli credentials forget)."};
inline constexpr Message kMailConnectionClosed{
    "SMTPサーバが途中で接続を切りました。サーバが混んでいるか、送信の制限にかかった可能性があります。"
    "しばらく待ってから送り直してください。",
    "The SMTP server closed the connection midway. It may be busy, or a sending limit may have been reached. "
    "Wait a while, then send again."};
inline constexpr Message kMailLoginRequired{
    "SMTPサーバが送信の前にログインを求めています。右クリックメニューの「SMTP認証の設定…」で"
    "ユーザー名とパスワードを保存してください。",
    "The SMTP server asks for a login before sending. Store the user name and password (qubopost-cli "
    "credentials set)."};
inline constexpr Message kMailTooBig{
    "メールが大きすぎるため、SMTPサーバに断られました。記事を分けるなどして、1 通を小さくしてください。",
    "The SMTP server refused the message as too big. Make each message smaller, e.g. by splitting the "
    "articles."};
inline constexpr Message kMailSenderRefused{
    "投稿元メールアドレスがSMTPサーバに断られました。サーバに登録したメールアドレスを"
    "投稿元メールアドレスに入れてください。",
    "The SMTP server refused the sender address. Give the address registered with the server as the sender."};
inline constexpr Message kMailRecipientRefused{
    "投稿先のアドレスがSMTPサーバに断られました。投稿先ブログアドレスの綴りを確かめてください。",
    "The SMTP server refused the destination address. Check its spelling."};
inline constexpr Message kMailTryLater{
    "SMTPサーバが今は受け付けられないと答えました。しばらく待ってから、もう一度「ブログ投稿開始」を押すと"
    "送れなかったメールから送ります。",
    "The SMTP server cannot take messages now. Wait a while and post again: the messages that did not go out "
    "are sent."};
// kept byte for byte: the log line of a blog post that went up ({1} destination, {2} the post's
// address), matched by scripts like the mail's "送信完了" line; Japanese in both languages.
inline constexpr Message kLogBlogPosted{"{1}:投稿完了 {2}", ""};
// kept byte for byte: the frame of a blog post's failure line ({1} destination, {2} subject,
// {3} the reason), matched by scripts like the mail's failure line; the reason is translated.
inline constexpr Message kLogBlogFailure{"投稿エラー {1} 「{2}」 {3}", ""};
inline constexpr Message kBlogPostUncertain{
    "投稿結果不明（投稿を送った後で答えが来ませんでした。ブログに投稿されたか確認してください）",
    "Result unknown (no answer came after the post was sent). Check whether the blog has it."};
inline constexpr Message kBlogPostFailed{"投稿できませんでした。", "Could not post."};
// {1} the blog, {2} where to store its password (kBlogPasswordAdvice), {3} the blog's words.
inline constexpr Message kBlogLoginRefusedLine{
    "ブログ {1} への投稿を中止しました（この投稿先への残りの投稿はしません。ほかの投稿先へは続けます）。"
    "ユーザー名またはパスワードが受け付けられませんでした。{2} {3}",
    "Stopped posting to the blog {1} (nothing more goes to it; the other destinations go on). The user name or "
    "password was refused. {2} {3}"};
inline constexpr Message kBlogRetryLaterGaveUp{
    "ブログが {1} 回続けて「あとで」と答えたため、投稿できませんでした（再開すると、もう一度試します）。",
    "The blog answered \"later\" {1} times in a row, so nothing was posted (resuming tries again)."};
// {1} the blog, {2} this try, {3} the tries in all, {4} kBlogRetryAfter or nothing, {5} the blog's
// words.
inline constexpr Message kBlogRetryLater{
    "ブログ {1} が一時的に投稿を受け付けませんでした。間隔を空けてもう一度試します（{2} / {3} 回目{4}）。 {5}",
    "The blog {1} did not take the post for now. Trying again after a pause (try {2} of {3}{4}). {5}"};
inline constexpr Message kBlogRetryAfter{"、ブログの指定で {1} 秒以上待ちます",
                                         "; waiting at least {1} s as the blog asks"};
inline constexpr Message kMailUncertain{
    "送信結果不明（最後の「.」の後で接続が切れました。ブログに届いたか確認してください）",
    "Result unknown (the connection broke after the final \".\"). Check whether the blog got it."};
// {1} the SMTP server, {2} the library's words.
inline constexpr Message kSmtpLoginRefusedLine{
    "ブログへの投稿を中止しました。SMTPサーバ（{1}）がユーザー名またはパスワードを受け付けませんでした。"
    "右クリックメニューの「SMTP認証の設定…」（コマンドラインでは qubopost-cli credentials）で確認してください。 {2}",
    "Posting stopped. The SMTP server ({1}) refused the user name or password. Check them with qubopost-cli "
    "credentials. {2}"};
// {1} the SMTP server, {2} how many times, {3} the library's words.
inline constexpr Message kSmtpLoginDeferredGaveUp{
    "ブログへの投稿を中止しました。SMTPサーバ（{1}）が {2} 回続けてログインを一時的に断りました。"
    "しばらくしてから、もう一度投稿してください（続きから再開できます）。 {3}",
    "Posting stopped. The SMTP server ({1}) put off the login {2} times in a row. Post again later (the run goes "
    "on from where it stopped). {3}"};
inline constexpr Message kSmtpLoginDeferred{
    "SMTPサーバがログインを一時的に断りました。間隔を空けてもう一度試します（{1} / {2} 回目）。 {3}",
    "The SMTP server put off the login for now. Trying again after a pause (try {1} of {2}). {3}"};
// kept byte for byte: why a message was not sent, stored in the posting history as the message's
// detail (the history and the window show it as stored); Japanese in both languages.
inline constexpr Message kDetailBlogLoginRefused{"ログインが拒否されたため投稿していません", ""};
inline constexpr Message kDetailStopped{"停止したため送信していません", ""};
inline constexpr Message kDetailNotRecorded{"投稿履歴に記録できないため送信していません", ""};
inline constexpr Message kDetailLoginRefused{"ログインが拒否されたため送信していません", ""};
inline constexpr Message kDetailLoginDeferred{"ログインが一時的に拒否されたため送信していません",
                                              ""};
inline constexpr Message kDetailNoBlogPoster{"ブログの API に投稿する手段がありません", ""};

// ---- article/: why a ranking page could not be fetched
// --------------------------------------------

inline constexpr Message kFetchTryLater{
    "しばらく待ってから、もう一度「記事自動生成」を押してください。",
    "Wait a while, then generate the article again."};
inline constexpr Message kFetchCheckHost{
    "右クリックメニューの「ランキングサービスの設定…」でホスト名を確かめてください。",
    "Check the ranking service's host name (--ranking-host, or [Ranking] Host= of the settings file)."};
inline constexpr Message kFetchLoginNeeded{"ログインが必要なページです", "The page needs a login"};
inline constexpr Message kFetchForbidden{"アクセスが禁止されています", "Access is forbidden"};
inline constexpr Message kFetchNotFound{"ページが見つかりません", "The page was not found"};
// {1} kFetchCheckHost.
inline constexpr Message kFetchPageMoved{
    "ホスト名が違うか、サービスのページの場所が変わった可能性があります。{1}",
    "The host name may be wrong, or the service's page may have moved. {1}"};
inline constexpr Message kFetchRequestTimedOut{"リクエストが時間切れになりました",
                                               "The request timed out"};
inline constexpr Message kFetchTooManyRequests{"リクエストが多すぎると断られました",
                                               "The service refused too many requests"};
inline constexpr Message kFetchServiceError{"サービスの内部でエラーが起きました",
                                            "The service had an internal error"};
inline constexpr Message kFetchGatewayError{"サービスの手前の中継サーバでエラーが起きました",
                                            "A gateway in front of the service had an error"};
inline constexpr Message kFetchUnavailable{
    "サービスが一時的に止まっています。メンテナンス中の可能性があります",
    "The service is down for now; it may be under maintenance"};
inline constexpr Message kFetchGatewayTimedOut{"サービスの手前の中継サーバが時間切れになりました",
                                               "A gateway in front of the service timed out"};
inline constexpr Message kFetchServerSideError{"サービス側でエラーが起きました",
                                               "The service had an error"};
inline constexpr Message kFetchRequestRefused{"リクエストを受け付けてもらえませんでした",
                                              "The request was refused"};
// Said at the end of every failure: nothing the user had is gone.
inline constexpr Message kFetchKept{"記事欄はそのままです。",
                                    "The article text is left as it was."};
// {1} host, {2} HTTP status, {3} what it means, {4} what to do, {5} kFetchKept.
inline constexpr Message kFetchHttpStatus{
    "ランキングサービス {1} が HTTP {2} を返しました。{3}。{4}{5}",
    "The ranking service {1} answered HTTP {2}. {3}. {4} {5}"};
// {1} the proxy, {2} kFetchKept.
inline constexpr Message kFetchProxy{
    "プロキシ {1} に接続できません。プロキシが止まっているか、設定が古い可能性があります。"
    "環境変数 http_proxy と https_proxy の設定を確かめてください。{2}",
    "Cannot connect to the proxy {1}. The proxy may be down, or the setting out of date. Check the environment "
    "variables http_proxy and https_proxy. {2}"};
// {1} host, {2} kFetchCheckHost, {3} kFetchKept.
inline constexpr Message kFetchUnknownHost{
    "ホスト名 {1} が見つかりません。綴りが違うか、ネットワークにつながっていない可能性があります。{2}{3}",
    "The host {1} cannot be found. Its name may be misspelt, or the network may be down. {2} {3}"};
inline constexpr Message kFetchConnectionRefused{
    "ランキングサービス {1} に接続を断られました。サービスが止まっているか、ホスト名かポート番号が違う可能性があります。"
    "{2}{3}",
    "The ranking service {1} refused the connection. The service may be down, or the host name or port may be "
    "wrong. {2} {3}"};
// {1} host, {2} kFetchKept.
inline constexpr Message kFetchTimedOut{
    "ランキングサービス {1} から時間内に応答がありませんでした。サービスが混んでいるか、"
    "ネットワークが不安定な可能性があります。しばらく待ってからやり直してください。{2}",
    "The ranking service {1} did not answer in time. It may be busy, or the network may be unstable. Wait a "
    "while, then try again. {2}"};
// {1} the transfer's words, {2} kFetchKept.
inline constexpr Message kFetchTooLarge{
    "ランキングページが大きすぎます: {1}。ホスト名が正しいか確かめてください。{2}",
    "The ranking page is too large: {1}. Check that the host name is right. {2}"};
// {1} host, {2} kFetchCheckHost, {3} kFetchKept.
inline constexpr Message kFetchTlsFailed{
    "ランキングサービス {1} との暗号化通信に失敗しました。{2}{3}",
    "The encrypted connection to the ranking service {1} failed. {2} {3}"};
inline constexpr Message kFetchFailed{"ランキングページを取得できませんでした: {1}。{2}",
                                      "Cannot fetch the ranking page: {1}. {2}"};

// ---- posting/: a blog's login and API, and the run's journal
// ---------------------------------------

inline constexpr Message kBlogKeyRingProblem{"キーリング: {1}", "key ring: {1}"};
inline constexpr Message kBlogNetrcUnclosedQuote{"~/.netrc の引用符が閉じていません",
                                                 "~/.netrc has an unclosed quote"};
// Between two problems of a login's lookup.
inline constexpr Message kBlogProblemSeparator{"。", "; "};
inline constexpr Message kBlogNotUsableUrl{"ブログの URL として使えません",
                                           "Cannot be used as a blog URL"};
// {1} host, {2} user, {3} kBlogLookupProblem or nothing.
inline constexpr Message kBlogNoPassword{
    "（{1} の {2} のパスワードがキーリングにも ~/.netrc にもありません{3}。何も送っていません）",
    "(no password for {2} at {1} in the key ring or ~/.netrc{3}; nothing was sent)"};
inline constexpr Message kBlogLookupProblem{"。{1}", "; {1}"};
inline constexpr Message kBlogApiNotFound{"ブログの API が見つかりません（{1}）",
                                          "No blog API found ({1})"};
// kept byte for byte: stored in the posting history as the detail of a message whose end was
// going out when the run stopped; Japanese in both languages.
inline constexpr Message kDetailInterruptedPost{
    "投稿をブログに送る間に中断しました（投稿されたかどうか分かりません）", ""};
inline constexpr Message kDetailInterruptedMail{
    "最後の「.」を送る間に中断しました（ブログに届いたかどうか分かりません）", ""};
inline constexpr Message kRunJournalStopped{
    "投稿履歴に記録できないため、投稿を中止しました。{1}",
    "Posting stopped: the posting history cannot record it. {1}"};

// ---- ui/: the window's texts (Japanese only: the window speaks Japanese)
// --------------------------

inline constexpr Message kUiFetchBusy{"ランキングを取得しています…（Esc で中止できます）", ""};
inline constexpr Message kUiFetchCancelled{
    "ランキングの取得を中止しました（記事欄は変更していません）", ""};
// {1} the ranking service's host.
inline constexpr Message kUiNoProducts{
    "記事を作れませんでした。\nランキングサービス（{1}）は応答しましたが、ページに商品が見つかりませんでした"
    "（メンテナンス中などの可能性があります）。記事欄は変更していません。しばらくしてからやり直すか、設定を確認してください。",
    ""};
inline constexpr Message kUiDefaultAffiliateId{
    "アフィリエイトIDが空欄のため、プログラム既定のアフィリエイトIDで記事を作りました。"
    "ご自分のIDで作るには、アフィリエイトIDを入力してからもう一度「記事自動生成」を押してください。",
    ""};
inline constexpr Message kUiNulBytesDropped{
    "ランキングページの記事になる部分にあった NUL バイト {1} 個は文字ではないため、取り除きました。",
    ""};
inline constexpr Message kUiDraftSettingNotSaved{
    "「下書きとして投稿」を設定ファイルに保存できませんでした（{1}）。設定は変わっていません。",
    ""};
inline constexpr Message kUiDraftRestored{
    "前回の記事を下書きから戻しました（{1}）。不要なら「クリア」で空にできます。", ""};
// {1} the draft file, {2} the reason.
inline constexpr Message kUiDraftNotSaved{
    "記事の下書きを保存できませんでした（{1}: {2}）。記事は画面の中だけにあります。必要ならコピーして保存してください。",
    ""};
inline constexpr Message kUiClearQuestion{
    "設定欄（アフィリエイトID、投稿元メールアドレス、SMTPサーバアドレス、ポートアドレス、"
    "投稿先ブログアドレス、ヘッダー、フッター）と記事、ログをすべて空にします。よろしいですか？",
    ""};
inline constexpr Message kUiFetchCancelling{"ランキングの取得を中止しています…", ""};
inline constexpr Message kUiCloseWhilePosting{
    "投稿中です。投稿を停止して閉じますか？\n（送信済みのメールは投稿履歴に記録されています。"
    "次に同じ内容で「ブログ投稿開始」を押すと続きから再開できます）",
    ""};
// {1} the settings file, {2} the reason.
inline constexpr Message kUiSettingsUnreadable{
    "設定ファイルを読み込めませんでした。\n{1}\n（{2}）\n前回の設定は使わずに起動します。このファイルには保存しません。",
    ""};
inline constexpr Message kUiSettingsNotSavedUnread{
    "起動時に読み込めなかったファイルには保存しません", ""};

// ---- ui/: the side windows' services (the login test, the key ring, the history, the ranking
// host) ---

inline constexpr Message kUiLoginTestLoginRefused{
    "サーバがユーザー名かパスワードを受け付けませんでした。ユーザー名とパスワードを確かめて、パスワードを"
    "入力し直してください。",
    ""};
inline constexpr Message kUiLoginTestLoginDeferred{
    "サーバが今はログインを受け付けていません（一時的な状態です）。しばらく待ってから、もう一度お試しくだ"
    "さい。",
    ""};
inline constexpr Message kUiLoginTestConnectionRefused{
    "SMTPサーバに接続を断られました。サーバ名と、メイン画面の「ポートアドレス」が正しいか確かめてください"
    "。",
    ""};
inline constexpr Message kUiLoginTestUnknownServerHost{
    "SMTPサーバが見つかりません。サーバ名のつづりを確かめてください。", ""};
inline constexpr Message kUiLoginTestServerUnreachable{
    "SMTPサーバまでの経路がありません。ネットワークにつながっているか確かめてください。", ""};
inline constexpr Message kUiLoginTestCannotConnectTo{
    "SMTPサーバに接続できませんでした。ネットワークの接続と、サーバ名・ポートを確かめてください。",
    ""};
inline constexpr Message kUiLoginTestTimeOut{
    "SMTPサーバから時間内に応答がありませんでした。ポート番号が正しいか、ファイアウォールで止められていな"
    "いか確かめてください。",
    ""};
inline constexpr Message kUiLoginTestCertificateNotTrusted{
    "SMTPサーバの証明書を信頼できませんでした。サーバ名が正しいか確かめてください。独自の認証局の証明書を"
    "使うサーバなら、設定ファイルの TrustFile にその認証局の証明書を指定してください。",
    ""};
inline constexpr Message kUiLoginTestCertificateIsForAnotherHost{
    "SMTPサーバの証明書が別のホスト名のものでした。プロバイダーの案内にあるとおりのサーバ名を入力してくだ"
    "さい。",
    ""};
inline constexpr Message kUiLoginTestTlsIsRequired{
    "このサーバは暗号化（STARTTLS）に対応していないため、パスワードを送りませんでした。暗号化に対応したポ"
    "ート（587 や 465）を使ってください。",
    ""};
inline constexpr Message kUiLoginTestTlsFailure{
    "暗号化（TLS）の接続に失敗しました。ポート番号を確かめてください（465 は最初から暗号化、587 は STARTT"
    "LS です）。",
    ""};
inline constexpr Message kUiLoginTestNoLoginOffered{
    "このサーバはログイン（AUTH）を受け付けていません。ログインなしで送れるサーバならこの設定は要りません"
    "。そうでなければサーバ名とポートを確かめてください。",
    ""};
inline constexpr Message kUiLoginTestConnectionClosedByTheServer{
    "SMTPサーバが途中で接続を切りました。しばらく待ってから、もう一度お試しください。", ""};
inline constexpr Message kUiLoginTestUnexpectedReply{
    "SMTPサーバから思いがけない応答がありました。SMTPのポートを指定しているか確かめてください。",
    ""};
inline constexpr Message kUiLoginTestInvalidServerPort{
    "ポート番号が正しくありません。メイン画面の「ポートアドレス」に 1〜65535 の番号を入力してください。",
    ""};
inline constexpr Message kUiLoginTestServerNeedsAPort{
    "ポート番号がありません。メイン画面の「ポートアドレス」に 1〜65535 の番号を入力してください。",
    ""};
inline constexpr Message kUiLoginTestInvalidServer{
    "サーバ名が正しくありません。ホスト名（smtp.example.jp など）だけを入力してください。", ""};
inline constexpr Message kUiLoginTestNoServerHostName{"サーバ名を入力してください。", ""};
inline constexpr Message kUiLoginTestInvalidIpv6{"サーバの IPv6 アドレスが正しくありません。", ""};
inline constexpr Message kUiLoginTestWriteAnIpv6{
    "IPv6 アドレスのサーバは [アドレス] の形で入力してください。", ""};
inline constexpr Message kUiLoginTestNoUserName{"ユーザー名を入力してください。", ""};
inline constexpr Message kUiLoginTestOutOfMemory{
    "メモリが足りません。ほかのアプリを閉じてから、もう一度お試しください。", ""};
inline constexpr Message kUiLoginTestFailed{
    "ログインを確かめられませんでした。サーバ名・ポート・ユーザー名を確かめて、もう一度お試しください。",
    ""};
inline constexpr Message kUiServerReply{"\nサーバの応答: {1}", ""};
// {1} the button (kUiButtonSave ...).
inline constexpr Message kUiPressAgain{"もう一度「{1}」を押してください。", ""};
inline constexpr Message kUiButtonSave{"保存", ""};
inline constexpr Message kUiButtonForget{"削除", ""};
inline constexpr Message kUiButtonTest{"接続テスト", ""};
inline constexpr Message kUiPasswordStored{"{1} のパスワードをキーリングに保存しました。", ""};
// {1} the key ring's problem.
inline constexpr Message kUiPasswordNotStored{
    "パスワードを保存できませんでした。{1}入力した内容はそのまま残っています。", ""};
inline constexpr Message kUiPasswordForgotten{"{1} のパスワードをキーリングから削除しました。", ""};
inline constexpr Message kUiPasswordNotInKeyRing{"{1} のパスワードはキーリングにありません。", ""};
inline constexpr Message kUiPasswordNotForgotten{"パスワードを削除できませんでした。{1}", ""};
// {1} host, {2} user (or kUiUserNotGiven).
inline constexpr Message kUiNoPasswordToTest{
    "パスワード欄が空で、キーリングにも {1} のユーザー {2} のパスワードがありません。パスワードを入力して"
    "から「接続テスト」を押してください。",
    ""};
inline constexpr Message kUiUserNotGiven{"（未入力）", ""};
inline constexpr Message kUiStoredPasswordUnusable{
    "パスワード欄が空なので保存したパスワードを使おうとしましたが、{1}", ""};
inline constexpr Message kUiUsedStoredPassword{"（キーリングに保存したパスワードを使いました）",
                                               ""};
// {1} kUiUsedStoredPassword or nothing; then {2} why.
inline constexpr Message kUiLoginTestOk{"ログインできました{1}。何も送信していません。", ""};
inline constexpr Message kUiLoginTestNotOk{"ログインできませんでした{1}。\n{2}", ""};
inline constexpr Message kUiRunNotEnded{"（中断）", ""};
inline constexpr Message kUiHistoryUnopened{"投稿履歴を開けませんでした。\n{1}", ""};
inline constexpr Message kUiRankingHostInvalid{
    "ホスト「{1}」が正しくありません。ホスト名か、ホスト名:ポート番号で入力してください。", ""};
// {1} the settings file, {2} the reason.
inline constexpr Message kUiSettingsNotSaved{"設定ファイルを保存できませんでした。\n{1}\n（{2}）",
                                             ""};

// ---- ui/: the posting side of the window (the confirmation, the run's questions and verdicts)
// --------

inline constexpr Message kUiAboutMinutes{"約 {1} 分", ""};
inline constexpr Message kUiAboutHours{"約 {1} 時間 {2} 分", ""};
inline constexpr Message kUiPortInvalid{
    "ポートアドレスは 1～65535 の数字で入力してください（「{1}」）。", ""};
inline constexpr Message kUiFromNeedsOneAt{
    "投稿元メールアドレス「{1}」には「@」がちょうど 1 つ必要です。", ""};
inline constexpr Message kUiNoArticles{
    "記事に投稿できる記事がありません。記事は「-----into-----」で区切ります（区切りが 2 つ以上必要です。"
    "「[title]」の後の行が件名になります）。",
    ""};
// {1} the field's label, {2} the character.
inline constexpr Message kUiControlCharacter{"{1}の {2} は送れない文字です。削除してください。",
                                             ""};
// {1} messages, {2} groups, {3} addresses, {4} kUiPreviewSplit or nothing, {5} the pause, {6} the
// time it takes.
inline constexpr Message kUiPreviewSummary{
    "{1} 通（{2} グループ × {3} アドレス{4}）。1 通ごとに {5} 秒の間隔を空けるので、{6}かかります。",
    ""};
inline constexpr Message kUiPreviewSplit{"。メール {1} 通、ブログの API への投稿 {2} 件", ""};
inline constexpr Message kUiAddToHeader{"ヘッダーに追加(&H)", ""};
// {1} when it started, {2} messages in all, {3} the ones sent.
inline constexpr Message kUiAskResume{
    "前回中断した投稿があります。続きから再開しますか？\n（{1} 開始。全 {2} 通のうち送信済みの {3} 通は送"
    "りません。「最初から送る」を選ぶと、最初からすべて送ります）",
    ""};
inline constexpr Message kUiButtonResume{"再開(&R)", ""};
inline constexpr Message kUiButtonFromStart{"最初から送る(&A)", ""};
inline constexpr Message kUiButtonCancel{"キャンセル", ""};
inline constexpr Message kUiUncertainItem{"\n・{1}　{2}", ""};
// {1} how many, {2} the list (kUiUncertainItem each).
inline constexpr Message kUiAskResendUncertain{
    "前回、送信結果が不明になったメールが {1} 通あります（サーバの応答の前に接続が切れました）。{2}\nブロ"
    "グに届いていないことを確かめた場合だけ、もう一度送ってください。もう一度送りますか？",
    ""};
inline constexpr Message kUiButtonYes{"はい(&Y)", ""};
inline constexpr Message kUiButtonNo{"いいえ(&N)", ""};
inline constexpr Message kUiAskPostAgain{
    "この内容は {1} にすべて投稿済みです。もう一度すべて投稿しますか？", ""};
inline constexpr Message kUiFailedCount{"送信に失敗したメールが {1} 通", ""};
inline constexpr Message kUiListComma{"、", ""};
inline constexpr Message kUiUncertainCount{"結果が不明のメールが {1} 通", ""};
// {1} when, {2} kUiFailedCount and kUiUncertainCount.
inline constexpr Message kUiAskRetryFailed{
    "この内容は {1} に投稿しましたが、{2}あります。失敗したメールだけを送りますか？\n「すべて送る」を選ぶ"
    "と、最初からすべて送ります。",
    ""};
inline constexpr Message kUiButtonFailedOnly{"失敗分だけ送る(&F)", ""};
inline constexpr Message kUiButtonAll{"すべて送る(&A)", ""};
inline constexpr Message kUiStopping{"停止しています…", ""};
inline constexpr Message kUiPostingCancelled{"投稿を取りやめました（何も送っていません）。", ""};
inline constexpr Message kUiResumeWhilePosting{
    "投稿中です。いまの投稿が終わるか、「投稿停止」で止めてから再開してください。", ""};
inline constexpr Message kUiResumeCancelled{"再開を取りやめました（何も送っていません）。", ""};
inline constexpr Message kUiUnfinishedUnchecked{
    "投稿履歴を開けないため、未完了の投稿を確かめられませんでした。\r\n{1}", ""};
inline constexpr Message kUiUnfinishedRuns{"未完了の投稿があります。", ""};
// {1} run, {2} when it started, {3} sent, {4} left.
inline constexpr Message kUiUnfinishedRun{"\n・番号 {1}　{2} 開始　送信済み {3} 通 / 残り {4} 通",
                                          ""};
inline constexpr Message kUiUnfinishedUncertain{"（結果が不明 {1} 通）", ""};
inline constexpr Message kUiUnfinishedServer{"\n　　サーバ {1}", ""};
inline constexpr Message kUiUnfinishedMore{"\n・ほか {1} 件", ""};
inline constexpr Message kUiUnfinishedAsk{
    "\n\n「再開」を押すと、番号 {1} の続きを送ります（送信済みのメールは送りません）。「あとで」なら何も"
    "送りません。右クリックメニューの「投稿履歴…」からも再開できます。",
    ""};
inline constexpr Message kUiButtonLater{"あとで(&L)", ""};
inline constexpr Message kUiWaitingLast{
    "待機中: 次の投稿との間隔を空けています（あと {1} 秒。「投稿停止」ですぐに終わります）", ""};
inline constexpr Message kUiWaiting{"待機中: 次の送信まで {1} 秒", ""};
inline constexpr Message kUiSending{"送信 {1} / {2} 通目: {3}", ""};
// {1} sent, {2} not sent, {3} how to go on.
inline constexpr Message kUiStopped{"投稿を停止しました。送信済み {1} 通、未送信 {2} 通です。\n{3}",
                                    ""};
inline constexpr Message kUiStoppedResumeFromHistory{
    "右クリックメニューの「投稿履歴…」で、この投稿を選んで「再開」を押すと続きを送れます。", ""};
inline constexpr Message kUiStoppedResumeByStart{
    "もう一度「ブログ投稿開始」を押すと、続きから再開できます。", ""};
// {1} the SMTP server, {2} not sent.
inline constexpr Message kUiSmtpLoginRefused{
    "\nSMTPサーバ（{1}）がユーザー名またはパスワードを受け付けませんでした。右クリックメニューの「SMTP認"
    "証の設定…」で確認してください。\n未送信のメールは {2} 通です。",
    ""};
// {1} the blog, {2} where to store its password.
inline constexpr Message kUiBlogLoginRefused{
    "\nブログ {1} がログインを受け付けなかったため、この投稿先には残りを投稿していません。{2}", ""};
inline constexpr Message kUiOtherBlogsPosted{
    "\nほかの投稿先には送りました。パスワードを設定し直したら、右クリックメニューの「投稿履歴…」でこの投"
    "稿を選んで「再開」を押すと、残りを投稿できます。",
    ""};

// ---- gui/: the window's own texts (Japanese only)
// ---------------------------------------------------

inline constexpr Message kGuiIconName{"Qubopost のアイコン", ""};
inline constexpr Message kGuiPreviewTitle{"投稿内容の確認 - Qubopost", ""};
inline constexpr Message kGuiWarningName{"注意", ""};
inline constexpr Message kGuiColumnNumber{"番号", ""};
inline constexpr Message kGuiColumnDestination{"投稿先", ""};
inline constexpr Message kGuiColumnSubject{"件名", ""};
inline constexpr Message kGuiPreviewListName{"送信するメールの一覧", ""};
inline constexpr Message kGuiPreviewBodyName{"選んだメールの本文", ""};
inline constexpr Message kGuiPreviewBodyPlaceholder{"一覧でメールを選ぶと本文を表示します。", ""};
inline constexpr Message kGuiPreviewNote{
    "「確認」で「ブログ投稿開始」が押せるようになります。まだ何も送りません。", ""};
inline constexpr Message kGuiButtonConfirm{"確認(&O)", ""};
inline constexpr Message kGuiButtonBack{"戻る(&B)", ""};
inline constexpr Message kGuiMenuSmtpLogin{"SMTP認証の設定…", ""};
inline constexpr Message kGuiMenuRankingHost{"ランキングサービスの設定…", ""};
inline constexpr Message kGuiMenuHistory{"投稿履歴…", ""};
inline constexpr Message kGuiMenuDraft{"下書きとして投稿", ""};
inline constexpr Message kGuiMenuDraftTip{
    "ブログの URL の投稿先に下書きとして投稿します（メールの投稿先は変わりません） (Alt+D)", ""};
inline constexpr Message kGuiSmtpLoginTitle{"SMTP認証の設定", ""};
inline constexpr Message kGuiSmtpLoginIntro{
    "SMTPサーバのユーザー名とパスワードをデスクトップのキーリングに保存します。パスワードは設定ファイルに"
    "もログにも残りません。",
    ""};
inline constexpr Message kGuiServerLabel{"サーバ(&V):", ""};
inline constexpr Message kGuiServerTip{
    "ホスト名だけを入力します（例: smtp.example.jp）。ポートはメイン画面の「ポートアドレス」（1–65535）"
    "を使います。",
    ""};
inline constexpr Message kGuiUserLabel{"ユーザー名(&U):", ""};
inline constexpr Message kGuiPasswordLabel{"パスワード(&P):", ""};
inline constexpr Message kGuiPasswordTip{
    "空欄のまま接続テストをすると、キーリングに保存したパスワードを使います。", ""};
inline constexpr Message kGuiWaitingName{"待っている処理", ""};
inline constexpr Message kGuiButtonSave{"保存(&S)", ""};
inline constexpr Message kGuiButtonForget{"削除(&D)", ""};
inline constexpr Message kGuiButtonTest{"接続テスト(&T)", ""};
inline constexpr Message kGuiButtonClose{"閉じる(&C)", ""};
inline constexpr Message kGuiWaitCancelled{
    "待つのをやめました。入力した内容はそのまま残っています。", ""};
inline constexpr Message kGuiNoKeyRing{
    "キーリング（Secret Service）が動いていないため保存できません。パスワードは ~/.netrc に「machine サー"
    "バ名 login ユーザー名 password パスワード」の形で書いてください（chmod 600 ~/.netrc）。",
    ""};
inline constexpr Message kGuiNeedServerAndUser{"サーバとユーザー名を入力してください。", ""};
inline constexpr Message kGuiNeedPassword{"パスワードを入力してください。", ""};
inline constexpr Message kGuiNeedServer{"サーバを入力してください。", ""};
inline constexpr Message kGuiNeedServerAndPort{
    "サーバと、メイン画面の「ポートアドレス」を入力してください。", ""};
inline constexpr Message kGuiNeedUser{"ユーザー名を入力してください。", ""};
inline constexpr Message kGuiRankingHostTitle{"ランキングサービスの設定", ""};
inline constexpr Message kGuiHostLabel{"ホスト(&H):", ""};
inline constexpr Message kGuiHostTip{
    "ホスト名、またはホスト名:ポート番号（ポート: 1–65535）。空欄なら既定のホスト", ""};
inline constexpr Message kGuiHistoryTitle{"投稿履歴", ""};
inline constexpr Message kGuiRunsLabel{"投稿の記録(&L):", ""};
inline constexpr Message kGuiRunsDescription{
    "番号、開始、終了、結果の列。選ぶと下にその回のメールが並びます", ""};
inline constexpr Message kGuiColumnStarted{"開始", ""};
inline constexpr Message kGuiColumnEnded{"終了", ""};
inline constexpr Message kGuiColumnResult{"結果", ""};
inline constexpr Message kGuiMessagesLabel{"選んだ回のメール(&M):", ""};
inline constexpr Message kGuiColumnTime{"時刻", ""};
inline constexpr Message kGuiColumnLink{"投稿のアドレス", ""};
inline constexpr Message kGuiColumnDetail{"サーバの応答・理由", ""};
inline constexpr Message kGuiLinkTip{"ダブルクリックか「記事を開く」でブラウザで開きます", ""};
inline constexpr Message kGuiNoRuns{"まだ投稿の記録はありません。", ""};
inline constexpr Message kGuiResumeTip{
    "選んだ未完了の投稿の続きを送ります（送信済みのメールは送りません）", ""};
inline constexpr Message kGuiButtonOpenPost{"記事を開く(&O)", ""};
inline constexpr Message kGuiOpenPostTip{
    "選んだメッセージでブログが作った記事を、ブラウザで開きます", ""};

// {1} the built-in host.
inline constexpr Message kGuiRankingHostIntro{
    "記事自動生成でランキングページを取得するホストです（ポート番号は「:8080」のように付けます）。空欄に"
    "すると既定の {1} を使います。",
    ""};
inline constexpr Message kGuiBrowserFailed{
    "ブラウザを開けませんでした。記事のアドレスは {1} です。コピーしてブラウザに貼り付けてください。",
    ""};
// Both are passed on as C strings: a catalogue text ends with a NUL like every literal.
inline constexpr Message kGuiWaitingForKeyRing{"キーリングを待っています…", ""};
inline constexpr Message kGuiTestingLogin{"接続を確かめています…", ""};

// Names and descriptions a screen reader gives the main window's fields.
inline constexpr Message kGuiArticleName{"記事", ""};
inline constexpr Message kGuiLogName{"ログ", ""};
inline constexpr Message kGuiProgressName{"進行状況", ""};
inline constexpr Message kGuiFromDescription{"メールアドレス（例: you@example.jp）", ""};
inline constexpr Message kGuiServerDescription{"ホスト名または IP アドレス（例: smtp.example.jp）",
                                               ""};
inline constexpr Message kGuiPortDescription{"ポート: 1～65535", ""};
inline constexpr Message kGuiDestinationsDescription{"ブログの投稿用メールアドレスを 1 行に 1 つ",
                                                     ""};
inline constexpr Message kGuiArticleDescription{
    "-----into----- で区切った記事ごとに 1 通のメールになります", ""};

// @@LAYERS@@

}  // namespace qubopost::messages
