<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>AboutDialog</name>
    <message>
        <source>KestrovaMail - バージョン情報</source>
        <translation>KestrovaMail - About</translation>
    </message>
</context>
<context>
    <name>AccountDiscovery</name>
    <message>
        <source>ホスト %1 がありません</source>
        <translation>there is no host %1</translation>
    </message>
    <message>
        <source>HTTP の応答 %1</source>
        <translation>HTTP status %1</translation>
    </message>
    <message>
        <source>受信サーバー（IMAP か POP3）のレコードがありません</source>
        <translation>no records for an incoming server (IMAP or POP3)</translation>
    </message>
    <message>
        <source>送信サーバー（SMTP）のレコードがありません</source>
        <translation>no records for an outgoing server (SMTP)</translation>
    </message>
    <message>
        <source>プロバイダー表（%1、%2）</source>
        <translation>provider table (%1, %2)</translation>
    </message>
    <message>
        <source>MX レコードがありません</source>
        <translation>no MX records</translation>
    </message>
    <message>
        <source>%1 はプロバイダー表にありません</source>
        <translation>%1 is not in the provider table</translation>
    </message>
    <message>
        <source>&quot;%1&quot; はメールアドレス（名前@ドメイン）ではありません</source>
        <translation>&quot;%1&quot; is not a mail address (name@domain)</translation>
    </message>
    <message>
        <source>使わなかったもの: %1: %2</source>
        <translation>skipped: %1: %2</translation>
    </message>
    <message>
        <source>このアドレスのサーバーは見つかりませんでした。プロバイダーの案内にあるサーバーを設定してください</source>
        <translation>No servers were found for this address. Set the servers from your provider&apos;s instructions</translation>
    </message>
    <message>
        <source>見つけた場所: %1</source>
        <translation>found in: %1</translation>
    </message>
    <message>
        <source>%1: %2 ポート %3 %4、ユーザー名 %5</source>
        <translation>%1: %2 port %3 %4, user name %5</translation>
    </message>
    <message>
        <source>ログインはパスワードではなく OAuth のサインイン（%1）です</source>
        <translation>the log-in is an OAuth sign-in (%1), not a password</translation>
    </message>
    <message>
        <source>設定ファイルの形式ではありません</source>
        <translation>not a mail configuration file</translation>
    </message>
    <message>
        <source>XML として読めません（%1 行目）</source>
        <translation>not readable as XML (line %1)</translation>
    </message>
    <message>
        <source>暗号化しない接続しか載っていないため使いません</source>
        <translation>it offers only connections in clear text, so it is not used</translation>
    </message>
    <message>
        <source>使える受信サーバー（IMAP か POP3）が載っていません</source>
        <translation>it names no usable incoming server (IMAP or POP3)</translation>
    </message>
    <message>
        <source>使える送信サーバー（SMTP）が載っていません</source>
        <translation>it names no usable outgoing server (SMTP)</translation>
    </message>
    <message>
        <source>パスワードには Apple アカウントで作る App 用パスワードを使います</source>
        <translation>Use an app-specific password made in your Apple Account as the password</translation>
    </message>
    <message>
        <source>ログイン名は Yahoo! JAPAN ID です。メールアドレスの @ より前と違うときはユーザー名を直してください。Yahoo!メールの設定で IMAP/POP/SMTP アクセスを有効にします</source>
        <translation>The log-in name is the Yahoo! JAPAN ID: correct the user name where it differs from the part of the address before the @. Turn on IMAP/POP/SMTP access in the Yahoo! Mail settings</translation>
    </message>
    <message>
        <source>パスワードにはアカウントのセキュリティ設定で作るアプリパスワードを使います</source>
        <translation>Use an app password made in the account&apos;s security settings as the password</translation>
    </message>
    <message>
        <source>注意: %1 は %2 の外のサーバーです。そう言っているのは署名のない DNS の応答だけで、偽物かもしれません。プロバイダーの案内と同じか確かめてから使ってください</source>
        <translation>Caution: %1 lie outside %2. Only an unsigned DNS answer says so, and it may be forged. Use them only once you have checked them against your provider&apos;s instructions</translation>
    </message>
    <message>
        <source>https のアドレスではありません</source>
        <translation>not an https address</translation>
    </message>
    <message>
        <source>プロバイダー データベース（%1）</source>
        <translation>provider database (%1)</translation>
    </message>
    <message>
        <source>メールサーバーの応答ではありません</source>
        <translation>not the greeting of a mail server</translation>
    </message>
    <message>
        <source>暗号化（STARTTLS）に応じません</source>
        <translation>does not agree to encryption (STARTTLS)</translation>
    </message>
    <message>
        <source>推測（%1 と %2、証明書とあいさつを確認）</source>
        <translation>guess (%1 and %2, certificate and greeting checked)</translation>
    </message>
    <message>
        <source>推測 %1</source>
        <translation>guess %1</translation>
    </message>
    <message>
        <source>使えるサーバーがありません</source>
        <translation>no usable server</translation>
    </message>
</context>
<context>
    <name>AppConfigDialog</name>
    <message>
        <source>アプリケーション設定</source>
        <translation>Application Settings</translation>
    </message>
    <message>
        <source>スタートアップ設定</source>
        <translation>Start-up</translation>
    </message>
    <message>
        <source>起動までの秒数をダイアログで表示する</source>
        <translation>Show the countdown to start in a dialog</translation>
    </message>
    <message>
        <source>秒後に起動する</source>
        <translation>seconds until start</translation>
    </message>
    <message>
        <source>ショートカット作成</source>
        <translation>Create autostart entry</translation>
    </message>
    <message>
        <source>ショートカット削除</source>
        <translation>Delete autostart entry</translation>
    </message>
    <message>
        <source>ログファイル</source>
        <translation>Log file</translation>
    </message>
    <message>
        <source>ログをファイルに出力する</source>
        <translation>Write the log to a file</translation>
    </message>
    <message>
        <source>ログファイルを開く</source>
        <translation>Open log file</translation>
    </message>
    <message>
        <source>ログファイルを削除</source>
        <translation>Delete log file</translation>
    </message>
    <message>
        <source>終了の設定</source>
        <translation>Closing</translation>
    </message>
    <message>
        <source>閉じるボタンでアプリケーションを終了しない</source>
        <translation>The close button does not end the application</translation>
    </message>
    <message>
        <source>JPEG保存画質</source>
        <translation>JPEG quality</translation>
    </message>
    <message>
        <source>スタートアップフォルダにKestrovaMailのショートカットを作成します</source>
        <translation>KestrovaMail will be added to the programs started at log-in (autostart entry).</translation>
    </message>
    <message>
        <source>ショートカットが存在しません</source>
        <translation>There is no autostart entry.</translation>
    </message>
    <message>
        <source>スタートアップフォルダのKestrovaMailのショートカットを削除します</source>
        <translation>KestrovaMail will be removed from the programs started at log-in (autostart entry).</translation>
    </message>
    <message>
        <source>ログファイルが存在しません</source>
        <translation>There is no log file.</translation>
    </message>
    <message>
        <source>ログファイルを削除します</source>
        <translation>The log file will be deleted.</translation>
    </message>
</context>
<context>
    <name>CDeviceSelectDialog</name>
    <message>
        <source>デバイス選択</source>
        <translation>Select Device</translation>
    </message>
    <message>
        <source>映像入力デバイスを選択してください。</source>
        <translation>Please select a video input device.</translation>
    </message>
    <message>
        <source>カメラ選択</source>
        <translation>Choose a camera</translation>
    </message>
    <message>
        <source>スナップショットを撮るカメラを選択してください。</source>
        <translation>Choose the camera to take the snapshot with.</translation>
    </message>
</context>
<context>
    <name>CDeviceSettingsDialog</name>
    <message>
        <source>%1 の設定</source>
        <translation>%1 Settings</translation>
    </message>
    <message>
        <source>フレームサイズ</source>
        <translation>Frame size</translation>
    </message>
    <message>
        <source>設定できる項目はありません</source>
        <translation>There is nothing to set.</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>CMailSetupDialog</name>
    <message>
        <source>なし</source>
        <translation>None</translation>
    </message>
    <message>
        <source>Kestrova - メール設定</source>
        <translation>Kestrova - Mail Settings</translation>
    </message>
    <message>
        <source>SMTP設定</source>
        <translation>SMTP</translation>
    </message>
    <message>
        <source>SMTP接続テスト</source>
        <translation>Test SMTP connection</translation>
    </message>
    <message>
        <source>接続の保護</source>
        <translation>Security</translation>
    </message>
    <message>
        <source>SMTPサーバ</source>
        <translation>SMTP server</translation>
    </message>
    <message>
        <source>ポート</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>SMTPユーザーID</source>
        <translation>SMTP user name</translation>
    </message>
    <message>
        <source>SMTPパスワード</source>
        <translation>SMTP password</translation>
    </message>
    <message>
        <source>空欄のときは受信設定のユーザ名とパスワードを使います。</source>
        <translation>When empty, the user name and password of the receiving settings are used.</translation>
    </message>
    <message>
        <source>受信設定</source>
        <translation>Receiving</translation>
    </message>
    <message>
        <source>接続テスト</source>
        <translation>Test connection</translation>
    </message>
    <message>
        <source>受信方式</source>
        <translation>Protocol</translation>
    </message>
    <message>
        <source>ユーザ名</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>パスワード</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>POP3でもIMAPでもこのユーザ名とパスワードでログインします。</source>
        <translation>POP3 and IMAP both log in with this user name and password.</translation>
    </message>
    <message>
        <source>POP3設定</source>
        <translation>POP3</translation>
    </message>
    <message>
        <source>APOP認証を使用する</source>
        <translation>Use APOP authentication</translation>
    </message>
    <message>
        <source>POP3サーバ</source>
        <translation>POP3 server</translation>
    </message>
    <message>
        <source>IMAP設定</source>
        <translation>IMAP</translation>
    </message>
    <message>
        <source>IMAPサーバ</source>
        <translation>IMAP server</translation>
    </message>
    <message>
        <source>証明書</source>
        <translation>Certificates</translation>
    </message>
    <message>
        <source>参照...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>CA証明書ファイル</source>
        <translation>CA certificate file</translation>
    </message>
    <message>
        <source>空欄のときはシステムの証明書だけを使います。</source>
        <translation>When empty, only the system&apos;s certificates are used.</translation>
    </message>
    <message>
        <source>名前</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>画像回転</source>
        <translation>Picture rotation</translation>
    </message>
    <message>
        <source>返信する際に画像を９０度回転する</source>
        <translation>Turn replied pictures by 90 degrees</translation>
    </message>
    <message>
        <source>返信先の制限</source>
        <translation>Allowed senders</translation>
    </message>
    <message>
        <source>返信先メールアドレス</source>
        <translation>Reply address</translation>
    </message>
    <message>
        <source>追加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>件名判定文字列（半角英数字）</source>
        <translation>Check string (ASCII letters and digits)</translation>
    </message>
    <message>
        <source>※件名が一致するメールは自動的に削除されますのでご注意ください。</source>
        <translation>Note: mails whose subject matches are deleted automatically.</translation>
    </message>
    <message>
        <source>件名が一致するときのみ画像を返信します。</source>
        <translation>Only mails with this subject get a picture.</translation>
    </message>
    <message>
        <source>これ以上登録できません</source>
        <translation>No more addresses can be added.</translation>
    </message>
    <message>
        <source>IMAPサーバに接続しています…</source>
        <translation>Connecting to the IMAP server…</translation>
    </message>
    <message>
        <source>POP3サーバに接続しています…</source>
        <translation>Connecting to the POP3 server…</translation>
    </message>
    <message>
        <source>SMTPサーバに接続しています…</source>
        <translation>Connecting to the SMTP server…</translation>
    </message>
    <message>
        <source>証明書ファイル(*.pem *.crt *.cer);;全て(*.*)</source>
        <translation>Certificate files (*.pem *.crt *.cer);;All files (*.*)</translation>
    </message>
    <message>
        <source>IMAPサーバを入力してください。</source>
        <translation>Please enter the IMAP server.</translation>
    </message>
    <message>
        <source>差出人をDKIM署名で確認する</source>
        <translation>Check the sender&apos;s DKIM signature</translation>
    </message>
    <message>
        <source>差出人のドメインの署名が確かめられた依頼にだけ答えます（なりすまし対策）。</source>
        <translation>Answers only requests signed by the sender&apos;s domain (against forged senders).</translation>
    </message>
    <message>
        <source>パスワードに設定ファイル（シフトJIS）に保存できない文字があります。</source>
        <translation>The password holds characters the settings file (Shift_JIS) cannot store.</translation>
    </message>
    <message>
        <source>STARTTLS（提供時）</source>
        <translation>STARTTLS if offered</translation>
    </message>
    <message>
        <source>その他（詳細で設定）</source>
        <translation>Other (set under Advanced)</translation>
    </message>
    <message>
        <source>アカウント</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>サーバ</source>
        <translation>Servers</translation>
    </message>
    <message>
        <source>返信の条件</source>
        <translation>Replies</translation>
    </message>
    <message>
        <source>画像</source>
        <translation>Picture</translation>
    </message>
    <message>
        <source>詳細</source>
        <translation>Advanced</translation>
    </message>
    <message>
        <source>自動設定</source>
        <translation>Find settings</translation>
    </message>
    <message>
        <source>メールアドレス</source>
        <translation>Mail address</translation>
    </message>
    <message>
        <source>ログイン</source>
        <translation>Log-in</translation>
    </message>
    <message>
        <source>サインイン…</source>
        <translation>Sign in…</translation>
    </message>
    <message>
        <source>クライアントIDはプロバイダに登録したものです。シークレットが無ければ空欄にします。</source>
        <translation>The client id is the one registered with the provider. Leave the secret empty when there is none.</translation>
    </message>
    <message>
        <source>認証方式</source>
        <translation>Method</translation>
    </message>
    <message>
        <source>プロバイダ</source>
        <translation>Provider</translation>
    </message>
    <message>
        <source>クライアントID</source>
        <translation>Client id</translation>
    </message>
    <message>
        <source>クライアントシークレット</source>
        <translation>Client secret</translation>
    </message>
    <message>
        <source>受信の接続テスト</source>
        <translation>Test receiving connection</translation>
    </message>
    <message>
        <source>ここにアドレスが登録されている場合は登録されたアドレスにのみ画像を返信します。最大10件まで登録できます。</source>
        <translation>When addresses are listed here, pictures are sent only to these addresses. Up to 10 addresses can be listed.</translation>
    </message>
    <message>
        <source>差出人の確認</source>
        <translation>Sender check</translation>
    </message>
    <message>
        <source>信頼する認証サーバーID</source>
        <translation>Trusted authserv-id</translation>
    </message>
    <message>
        <source>このIDのAuthentication-Resultsが dmarc=pass なら署名の確認に代えます。届くメールに必ずこれを付けるプロバイダのときだけ設定します。</source>
        <translation>Authentication-Results of this id saying dmarc=pass count as a verified signature. Set it only for a provider that stamps every incoming mail.</translation>
    </message>
    <message>
        <source>認可URL</source>
        <translation>Authorization URL</translation>
    </message>
    <message>
        <source>トークンURL</source>
        <translation>Token URL</translation>
    </message>
    <message>
        <source>デバイス認可URL</source>
        <translation>Device authorization URL</translation>
    </message>
    <message>
        <source>スコープ</source>
        <translation>Scope</translation>
    </message>
    <message>
        <source>空欄のときはプロバイダの既定値を使います。「その他」では認可URLとトークンURLが要ります。</source>
        <translation>When empty, the provider&apos;s own values are used. &quot;Other&quot; needs the authorization and token URLs.</translation>
    </message>
    <message>
        <source>空欄のときは受信設定のユーザ名を使います。</source>
        <translation>When empty, the receiving user name is used.</translation>
    </message>
    <message>
        <source>OAuth 2.0のクライアントIDを入力してください。</source>
        <translation>Please enter the OAuth 2.0 client id.</translation>
    </message>
    <message>
        <source>https:// で始まるURLを入力してください。</source>
        <translation>Please enter a URL that starts with https://.</translation>
    </message>
    <message>
        <source>メールアドレスを入力してください。</source>
        <translation>Please enter the mail address.</translation>
    </message>
    <message>
        <source>%1 のサーバを探しています…</source>
        <translation>Looking for the servers of %1…</translation>
    </message>
    <message>
        <source>サインインの前にこの欄を正しく入力してください（%1）。</source>
        <translation>Please fill in this field correctly before signing in (%1).</translation>
    </message>
    <message>
        <source>ブラウザを開けませんでした。次のアドレスを開いてください。
%1</source>
        <translation>The browser could not be opened. Please open this address:
%1</translation>
    </message>
    <message>
        <source>ブラウザでサインインしてください…</source>
        <translation>Please sign in in the browser…</translation>
    </message>
    <message>
        <source>サインインできませんでした。</source>
        <translation>Could not sign in.</translation>
    </message>
    <message>
        <source>サインインしました。</source>
        <translation>Signed in.</translation>
    </message>
    <message>
        <source>このサーバーを使いますか？</source>
        <translation>Use these servers?</translation>
    </message>
    <message>
        <source>パスワードの保存</source>
        <translation>Where passwords are kept</translation>
    </message>
    <message>
        <source>パスワードの保存先: setup.ini（難読化のみ、暗号化ではありません）</source>
        <translation>Passwords are kept in: setup.ini (obscured only, not enciphered)</translation>
    </message>
    <message>
        <source>ファイルへ移す</source>
        <translation>Move to the files</translation>
    </message>
    <message>
        <source>%1 をファイルへ移しました（難読化のみ、暗号化ではありません）。</source>
        <translation>Moved %1 to the files (obscured only, not enciphered).</translation>
    </message>
    <message>
        <source>移すパスワードはありません。これからはファイルに保存します。</source>
        <translation>There were no passwords to move. From now on they are kept in the files.</translation>
    </message>
    <message>
        <source>ファイルへ移せません。何も移していません。</source>
        <translation>Cannot move to the files. Nothing was moved.</translation>
    </message>
    <message>
        <source>パスワードの保存先: キーリング</source>
        <translation>Passwords are kept in: the keyring</translation>
    </message>
    <message>
        <source>キーリングへ移す</source>
        <translation>Move to the keyring</translation>
    </message>
    <message>
        <source>%1 をキーリングへ移しました。</source>
        <translation>Moved %1 to the keyring.</translation>
    </message>
    <message>
        <source>移すパスワードはありません。これからはキーリングに保存します。</source>
        <translation>There were no passwords to move. From now on they are kept in the keyring.</translation>
    </message>
    <message>
        <source>キーリングへ移せません。何も移していません。</source>
        <translation>Cannot move to the keyring. Nothing was moved.</translation>
    </message>
</context>
<context>
    <name>CSnapMailDialog</name>
    <message>
        <source>POP3サーバの接続に失敗しました。</source>
        <translation>Could not connect to the POP3 server.</translation>
    </message>
    <message>
        <source>SMTPサーバへの接続に失敗しました。</source>
        <translation>Could not connect to the SMTP server.</translation>
    </message>
    <message>
        <source>メールの送信に失敗しました</source>
        <translation>Sending the mail failed.</translation>
    </message>
    <message>
        <source>メールの送信を完了しました</source>
        <translation>The mail has been sent.</translation>
    </message>
    <message>
        <source>スナップショットメール送信</source>
        <translation>Mail Snapshot</translation>
    </message>
    <message>
        <source>メールアドレス</source>
        <translation>Mail address</translation>
    </message>
    <message>
        <source>追加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>送信</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>送信先アドレスリスト</source>
        <translation>Recipients</translation>
    </message>
    <message>
        <source>ERROR 001:初期化に失敗しました。</source>
        <translation>ERROR 001: initialisation failed.</translation>
    </message>
    <message>
        <source>メールを送信しています…</source>
        <translation>Sending the mail…</translation>
    </message>
</context>
<context>
    <name>CSnapShotDialog</name>
    <message>
        <source>Kestrova - スナップショット</source>
        <translation>Kestrova - Snapshot</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>メール送信</source>
        <translation>Mail</translation>
    </message>
    <message>
        <source>JPEGファイル(*.jpg);;全て(*.*)</source>
        <translation>JPEG files (*.jpg);;All files (*.*)</translation>
    </message>
</context>
<context>
    <name>CTimeTextSetupDialog</name>
    <message>
        <source>横</source>
        <translation>X</translation>
    </message>
    <message>
        <source>縦</source>
        <translation>Y</translation>
    </message>
    <message>
        <source>日時表示設定</source>
        <translation>Date and Time Stamp</translation>
    </message>
    <message>
        <source>キャプチャした画像に日時を表示する</source>
        <translation>Stamp the date and time on captured pictures</translation>
    </message>
    <message>
        <source>表示位置</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>表示文字列</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>%Y=年 %M=月 %D=日 %W=曜日(英語)
%h=時 %m=分 %s=秒 %w=曜日(日本語)</source>
        <translation>%Y=year %M=month %D=day %W=weekday (English)
%h=hour %m=minute %s=second %w=weekday (Japanese)</translation>
    </message>
    <message>
        <source>フォント設定</source>
        <translation>Font</translation>
    </message>
    <message>
        <source>太文字</source>
        <translation>Bold</translation>
    </message>
    <message>
        <source>イタリック体</source>
        <translation>Italic</translation>
    </message>
    <message>
        <source>変更</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>サイズ</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>文字色</source>
        <translation>Text colour</translation>
    </message>
    <message>
        <source>影の表示設定</source>
        <translation>Shadow</translation>
    </message>
    <message>
        <source>影を表示する</source>
        <translation>Show a shadow</translation>
    </message>
    <message>
        <source>影の色</source>
        <translation>Shadow colour</translation>
    </message>
</context>
<context>
    <name>CTimerDialog</name>
    <message>
        <source>KestrovaMail - 起動タイマー</source>
        <translation>KestrovaMail - Start Timer</translation>
    </message>
    <message>
        <source>今すぐ起動</source>
        <translation>Start now</translation>
    </message>
    <message>
        <source>非表示</source>
        <translation>Hide</translation>
    </message>
    <message>
        <source>起動しない</source>
        <translation>Do not start</translation>
    </message>
    <message>
        <source>%1秒後にKestrovaMailを起動します</source>
        <translation>KestrovaMail starts in %1 seconds</translation>
    </message>
</context>
<context>
    <name>CTrayIcon</name>
    <message>
        <source>タスクトレイ</source>
        <translation>Tray</translation>
    </message>
    <message>
        <source>表示/非表示(&amp;S)</source>
        <translation>&amp;Show/Hide</translation>
    </message>
    <message>
        <source>スナップショット(&amp;P)</source>
        <translation>Sna&amp;pshot</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>表示(&amp;S)</source>
        <translation>&amp;Show</translation>
    </message>
    <message>
        <source>非表示(&amp;S)</source>
        <translation>&amp;Hide</translation>
    </message>
</context>
<context>
    <name>CamerasDialog</name>
    <message>
        <source>機器名か /dev/video0（空欄: つながっているカメラ）</source>
        <translation>Device name or /dev/video0 (empty: the camera attached)</translation>
    </message>
    <message>
        <source>JPEGスナップショット</source>
        <translation>JPEG snapshot</translation>
    </message>
    <message>
        <source>カメラは%1台まで登録できます。</source>
        <translation>At most %1 cameras can be set up.</translation>
    </message>
    <message>
        <source>設定ファイル（シフトJIS）に保存できない文字があります。</source>
        <translation>This text has characters the settings file (Shift JIS) cannot keep.</translation>
    </message>
    <message>
        <source>名前に改行などの制御文字は使えません。</source>
        <translation>A name cannot hold line breaks or other control characters.</translation>
    </message>
    <message>
        <source>カメラが複数あるときは、それぞれに名前を付けてください。</source>
        <translation>With several cameras, give each a name.</translation>
    </message>
    <message>
        <source>「%1」と同じ名前のカメラがあります。</source>
        <translation>A camera named &quot;%1&quot; is there already.</translation>
    </message>
    <message>
        <source>アドレスに改行などの制御文字は使えません。</source>
        <translation>An address cannot hold line breaks or other control characters.</translation>
    </message>
    <message>
        <source>USBカメラには機器名か /dev/video0 のようなパスを入力してください。</source>
        <translation>For a USB camera, enter its device name or a path such as /dev/video0.</translation>
    </message>
    <message>
        <source>%1:// か %2:// で始まるカメラのURLを入力してください。</source>
        <translation>Enter the camera&apos;s URL, starting with %1:// or %2://.</translation>
    </message>
    <message>
        <source>URLにユーザー名やパスワードを書かず、下の欄に入力してください。</source>
        <translation>Do not put a user name or password in the URL; enter them in the fields below.</translation>
    </message>
    <message>
        <source>ユーザー名に「:」や制御文字は使えません。</source>
        <translation>A user name cannot hold &quot;:&quot; or control characters.</translation>
    </message>
    <message>
        <source>パスワードに制御文字は使えません。</source>
        <translation>A password cannot hold control characters.</translation>
    </message>
    <message>
        <source>Kestrova - カメラ</source>
        <translation>Kestrova - Cameras</translation>
    </message>
    <message>
        <source>名前</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>種類</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>追加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>アドレス</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>ユーザー名</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>パスワード</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>フレームを表示</source>
        <translation>Show a frame</translation>
    </message>
    <message>
        <source>保存済み（変えるときだけ入力）</source>
        <translation>Stored (type only to change it)</translation>
    </message>
    <message>
        <source>これ以上登録できません</source>
        <translation>No more cameras can be added.</translation>
    </message>
    <message>
        <source>カメラ%1</source>
        <translation>Camera %1</translation>
    </message>
    <message>
        <source>このカメラは試せません。</source>
        <translation>This camera cannot be tried.</translation>
    </message>
    <message>
        <source>フレームを表示できません: %1</source>
        <translation>Cannot show a frame: %1</translation>
    </message>
    <message>
        <source>理由は分かりません。</source>
        <translation>The reason is not known.</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>%1 はほかに指定したコマンドと一緒には使えません</source>
        <translation>%1 cannot be combined with the other command given</translation>
    </message>
    <message>
        <source>%1 には値が必要です</source>
        <translation>%1 needs a value</translation>
    </message>
    <message>
        <source>%1 は値を取りません</source>
        <translation>%1 takes no value</translation>
    </message>
    <message>
        <source>--device にはデバイス名か /dev/video* のパスが必要です</source>
        <translation>--device needs a device name or a /dev/video* path</translation>
    </message>
    <message>
        <source>不明なオプション &quot;%1&quot;（一覧は kestrovamail --help）</source>
        <translation>unknown option &quot;%1&quot; (kestrovamail --help lists them)</translation>
    </message>
    <message>
        <source>--device はウィンドウ、--headless、--check-once のカメラを選ぶオプションです</source>
        <translation>--device picks the camera of the window, --headless or --check-once</translation>
    </message>
    <message>
        <source>--trace はウィンドウ、--headless、--check-once のメールのやりとりを表示するオプションです</source>
        <translation>--trace shows the mail dialogue of the window, --headless or --check-once</translation>
    </message>
    <message>
        <source>--dry-run は --set-up と使うオプションです</source>
        <translation>--dry-run goes with --set-up</translation>
    </message>
    <message>
        <source>--device-code は --sign-in と使います</source>
        <translation>--device-code goes with --sign-in</translation>
    </message>
    <message>
        <source>使い方: kestrovamail [オプション]...
メールに答えるカメラ: 件名がチェック文字列（&quot;cap&quot;）のメールに、カメラの新しい写真を付けて
返信します。オプションなしではメインウィンドウを開きます。</source>
        <translation>Usage: kestrovamail [OPTION]...
A camera that answers e-mail: mails whose subject is the check string (&quot;cap&quot;) get a fresh
picture from the camera as the reply. Without options the main window opens.</translation>
    </message>
    <message>
        <source>画面なし（X サーバー不要）のサービスとして動きます。カメラとメールの
確認はウィンドウのときと同じで、起動時と 1 分ごとに確認します。ログは
標準エラー（UTF-8）と、有効なときは log.txt に出ます。SIGTERM/SIGINT
で終了し、SIGHUP で setup.ini と device.ini を読み直します。</source>
        <translation>run without any display (no X server needed) as a service: the
camera and the mail check run as in the window, checking at start
and once a minute. Log lines go to standard error (UTF-8) and, when
enabled, to log.txt. SIGTERM/SIGINT end it, SIGHUP reloads setup.ini
and device.ini.</translation>
    </message>
    <message>
        <source>画面なしでメールを 1 回確認して終了します（終了コードは下記）。</source>
        <translation>one mail check without a display, then exit (exit status below).</translation>
    </message>
    <message>
        <source>このカメラ（表示名か /dev/video* のパス）を尋ねずに使います。
ウィンドウ、--headless、--check-once で使えます。カメラがなくても
メールは確認し、依頼はサーバーに残します。</source>
        <translation>use this camera (its display name, or a /dev/video* path) without
asking; with the window, --headless and --check-once. Without any
camera the program still checks mail and leaves requests on the server.</translation>
    </message>
    <message>
        <source>メールサーバーとやりとりした行をすべて標準エラーに書きます。行ごとに
時刻、プロトコル、サーバーが付き、パスワードとログインの情報は隠し、
メールは最初の行と大きさだけにします。ウィンドウ、--headless、
--check-once で使えます。</source>
        <translation>write every line sent to and received from the mail servers to
standard error, each with the time, the protocol and the server;
passwords and log-in data are masked, messages shortened to their
first line and size. With the window, --headless and --check-once.</translation>
    </message>
    <message>
        <source>GStreamer のテストパターンを 2 台のカメラとして出します。カメラなしで
試すためのものです: テストパターンは生のフレームを、テストパターン
(JPEG) は多くのカメラと同じく JPEG の画像を送ります。</source>
        <translation>offer the GStreamer test pattern as two cameras for trying the
program without one: &quot;Test pattern&quot; sends raw frames, and
&quot;Test pattern (JPEG)&quot; sends JPEG pictures as most cameras do.</translation>
    </message>
    <message>
        <source>すべての設定を SECTION.KEY=VALUE の形で表示します（パスワードは隠します）。</source>
        <translation>print every setting as SECTION.KEY=VALUE (passwords hidden).</translation>
    </message>
    <message>
        <source>設定ダイアログと同じ確認をして設定を 1 つ変えます。例:
--set MAIL.POP3_SERVER=pop.example.com。何度でも指定できます。</source>
        <translation>change one setting with the checks of the settings dialogs, e.g.
--set MAIL.POP3_SERVER=pop.example.com; may be given more than once.</translation>
    </message>
    <message>
        <source>MAIL.AUTH_METHOD=oauth2 のとき、メールのプロバイダーに OAuth 2.0 で
サインインします。ブラウザーで開くアドレスを表示し（画面があれば
ブラウザーを開きます）、ブラウザーが戻るのを待ちます。ブラウザーが別の
機器にあるときは、最後に開いたページのアドレスを貼り付けます。</source>
        <translation>with MAIL.AUTH_METHOD=oauth2, sign in to the mail provider with
OAuth 2.0: print the address to open in a browser (and open the
browser when there is a display), then wait for the browser to come
back. When the browser runs on another device, paste the address of
the last page it opened.</translation>
    </message>
    <message>
        <source>--sign-in で、別の機器のブラウザーに入力するコードを表示し、サインイン
が終わるまで待ちます（Microsoft など、許しているプロバイダーのみ）。</source>
        <translation>with --sign-in, print a code to enter in a browser on another device
and wait until the sign-in is done (only where the provider allows
it, as Microsoft does).</translation>
    </message>
    <message>
        <source>このヘルプを表示します。</source>
        <translation>show this help.</translation>
    </message>
    <message>
        <source>バージョンを表示します。</source>
        <translation>show the version.</translation>
    </message>
    <message>
        <source>（自動起動のエントリから）設定された起動までの秒数を待ちます。</source>
        <translation>(from the autostart entry) wait out the configured start-up delay.</translation>
    </message>
    <message>
        <source>メールアドレスからサーバーを探し（ドメインの設定ファイル、共有の
プロバイダー データベース（ドメインと MX のドメイン）、プログラムの
プロバイダー表、DNS の SRV レコード、imap. などの推測の順）、調べた
ことを順に、見つけたものとその出どころを表示して設定に書き込みます。
--dry-run では表示だけします。SRV がアドレスのドメインの外のサーバーを
指すときは、--accept-other-domain を付けたときだけ書き込みます。</source>
        <translation>find the servers of a mail address (the domain&apos;s configuration
file, the shared provider database for the domain and for its MX
host&apos;s domain, the program&apos;s table of providers, DNS SRV
records, then a guess such as imap.), print each source passed over
as it goes, then what was found and where from, and write it into
the settings; with --dry-run only print. Servers that SRV places
outside the address&apos;s domain are written only with
--accept-other-domain.</translation>
    </message>
    <message>
        <source>--accept-other-domain は --set-up と使うオプションです</source>
        <translation>--accept-other-domain goes with --set-up</translation>
    </message>
    <message>
        <source>--move-secrets には keyring か file を指定します</source>
        <translation>--move-secrets takes keyring or file</translation>
    </message>
    <message>
        <source>POP3 か SMTP のパスワード（oauth-client: OAuth のクライアント
シークレット、camera:NAME: その名前のカメラのパスワード）を標準入力
から読み、MAIL.SECRET_STORE の保存先（キーリングか、setup.ini と
device.ini に難読化して）に保存します。</source>
        <translation>read the POP3 or SMTP password (oauth-client: the OAuth client
secret; camera:NAME: the password of the camera of that name) from
standard input and keep it where MAIL.SECRET_STORE says (the
keyring, or obscured in setup.ini and device.ini).</translation>
    </message>
    <message>
        <source>--set-password には pop3、smtp、oauth-client か camera:NAME を指定します</source>
        <translation>--set-password takes pop3, smtp or oauth-client, or camera:NAME for a camera</translation>
    </message>
    <message>
        <source>その名前（CAMERAn.NAME）のカメラを設定から外します。後のカメラの
番号は 1 つずつ詰まります。最後の 1 台は外せません。カメラを足すには
--set CAMERAn.KEY=VALUE で次の番号のカメラを設定します。</source>
        <translation>remove the camera of that name (CAMERAn.NAME) from the settings; the
cameras after it move up one number. The last camera stays. To add a
camera, set a key of the next number with --set CAMERAn.KEY=VALUE.</translation>
    </message>
    <message>
        <source>終了コード:
  0   成功（--check-once: 確認が終わった。--sign-in: サインインした）
  1   --check-once: 確認が終わらなかった。--sign-in: サインインできなかった（理由は
      標準エラーに出ます）。--set-up: 使えるサーバーが見つからなかったか、ほかのドメインの
      サーバーしか見つからず --accept-other-domain がなかった（何も書き込みません）
  2   コマンドラインの誤り。--check-once、--sign-in: 設定が足りない
  3   --check-once: 確認は終わったが、カメラがないため依頼がサーバーに残った

環境変数:
  KESTROVAMAIL_HOME      setup.ini、device.ini、log.txt と写真を置くフォルダ。
  KESTROVAMAIL_TEST_PATTERN
                         1 のとき、--test-pattern と同じくテストパターンを出します。
  KESTROVAMAIL_DNS_SERVER
                         address:port。MAIL.SENDER_CHECK=dkim のとき、DKIM の鍵をシステムの
                         リゾルバーではなくこの DNS サーバーに尋ねます。--set-up の名前も
                         すべてこのサーバーに尋ねます。
  KESTROVAMAIL_ISPDB_URL --set-up と自動設定が尋ねるプロバイダー データベースのアドレス
                         （ドメインを後ろに付けます。既定は
                         https://autoconfig.thunderbird.net/v1.1/）。
  LANGUAGE, LC_ALL, LC_MESSAGES, LANG
                         ウィンドウ、ダイアログとこれらのメッセージの言語: 日本語のロケールでは
                         日本語、それ以外では英語。log.txt と返信メールはいつも日本語です。

ファイル:
  setup.ini, device.ini  設定。$KESTROVAMAIL_HOME、なければプログラムと同じフォルダ、なければ
                         （インストール時）~/.local/share/KestrovaMail/ にあります。
  log.txt                動作ログ（有効なとき）。同じフォルダにあります。
  oauth-token.dat        --sign-in で得たリフレッシュトークン（MAIL.SECRET_STORE=file のとき。
                         難読化だけで暗号化ではなく、本人だけが読み書きできるファイルです）。
                         同じフォルダにあります。
  ~/.config/autostart/KestrovaMail.desktop
                         自動起動のエントリ（ログイン時の起動を選んだとき）。

例:
  $ kestrovamail --set-up you@example.com
  $ kestrovamail --set MAIL.POP3_SERVER=pop.example.com --set MAIL.POP3_ID=me
  $ kestrovamail --set-password pop3 &lt; password.txt
  $ kestrovamail --set CAMERA2.TYPE=rtsp --set CAMERA2.ADDRESS=rtsp://192.0.2.10/live
  $ kestrovamail --set CAMERA2.NAME=garden --set CAMERA2.USER=admin
  $ kestrovamail --set-password camera:garden &lt; camera-password.txt
  $ kestrovamail --set MAIL.AUTH_METHOD=oauth2 --set MAIL.OAUTH_PROVIDER=microsoft
  $ kestrovamail --sign-in --device-code
  $ systemctl --user enable --now kestrovamail
  $ kestrovamail --check-once --device /dev/video0</source>
        <translation>Exit status:
  0   success (--check-once: the check completed; --sign-in: signed in)
  1   --check-once: the check did not complete; --sign-in: not signed in (the reason on
      standard error); --set-up: no usable servers were found, or only servers in another
      domain without --accept-other-domain (nothing is written)
  2   a wrong command line; --check-once, --sign-in: the settings are incomplete
  3   --check-once: it completed, but requests stayed on the server unanswered because no
      camera was there

Environment:
  KESTROVAMAIL_HOME      the folder for setup.ini, device.ini, log.txt and the pictures.
  KESTROVAMAIL_TEST_PATTERN
                         when 1, offer the test pattern as --test-pattern does.
  KESTROVAMAIL_DNS_SERVER
                         address:port; with MAIL.SENDER_CHECK=dkim, DKIM keys are asked of
                         this DNS server instead of the system&apos;s resolver; --set-up asks
                         it for every name too.
  KESTROVAMAIL_ISPDB_URL the provider database that --set-up and Find settings ask (the
                         domain is put after it; by default
                         https://autoconfig.thunderbird.net/v1.1/).
  LANGUAGE, LC_ALL, LC_MESSAGES, LANG
                         the language of the window, the dialogs and these messages:
                         Japanese for a Japanese locale, English for any other. log.txt
                         and the reply mails are always in Japanese.

Files:
  setup.ini, device.ini  the settings, in $KESTROVAMAIL_HOME, else beside the program, else
                         (installed) in ~/.local/share/KestrovaMail/.
  log.txt                the activity log, in the same folder, when enabled.
  oauth-token.dat        the refresh token of --sign-in (with MAIL.SECRET_STORE=file:
                         obscured, not enciphered, in a file only its owner may read), in
                         the same folder.
  ~/.config/autostart/KestrovaMail.desktop
                         the autostart entry, when start with the session is chosen.

Examples:
  $ kestrovamail --set-up you@example.com
  $ kestrovamail --set MAIL.POP3_SERVER=pop.example.com --set MAIL.POP3_ID=me
  $ kestrovamail --set-password pop3 &lt; password.txt
  $ kestrovamail --set CAMERA2.TYPE=rtsp --set CAMERA2.ADDRESS=rtsp://192.0.2.10/live
  $ kestrovamail --set CAMERA2.NAME=garden --set CAMERA2.USER=admin
  $ kestrovamail --set-password camera:garden &lt; camera-password.txt
  $ kestrovamail --set MAIL.AUTH_METHOD=oauth2 --set MAIL.OAUTH_PROVIDER=microsoft
  $ kestrovamail --sign-in --device-code
  $ systemctl --user enable --now kestrovamail
  $ kestrovamail --check-once --device /dev/video0</translation>
    </message>
    <message>
        <source>パスワード（カメラのものも）、クライアントシークレットとリフレッシュ
トークンをすべてデスクトップのキーリング（keyring）か、setup.ini、
device.ini と oauth-token.dat（file: 本人だけが読める難読化で、暗号化
ではありません）に移し、MAIL.SECRET_STORE を変えます。移せないときは
何も移しません。</source>
        <translation>move every password (the cameras&apos; too), the client secret and the refresh
token to the desktop&apos;s keyring (keyring), or to setup.ini, device.ini and
oauth-token.dat (file: obscured and readable by you alone, not enciphered),
and set MAIL.SECRET_STORE; when they cannot all be moved, nothing is moved.</translation>
    </message>
</context>
<context>
    <name>DialogSupport</name>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>HeadlessService</name>
    <message>
        <source>%1 が設定されていません（kestrovamail --set %1=...）</source>
        <translation>%1 is not set (kestrovamail --set %1=...)</translation>
    </message>
    <message>
        <source>POP3のパスワードがありません（kestrovamail --set-password pop3）</source>
        <translation>no POP3 password is stored (kestrovamail --set-password pop3)</translation>
    </message>
    <message>
        <source>メールチェックが終わりませんでした</source>
        <translation>the mail check did not complete</translation>
    </message>
    <message>
        <source>カメラから写真が来なかったため、写真の依頼はサーバーに残します</source>
        <translation>picture requests stay on the server: no camera delivered a picture</translation>
    </message>
    <message>
        <source>メールチェックを始められませんでした</source>
        <translation>the mail check could not start</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>スナップショット</source>
        <translation>Snapshot</translation>
    </message>
    <message>
        <source>入力機器変更</source>
        <translation>Change input device</translation>
    </message>
    <message>
        <source>メール設定</source>
        <translation>Mail settings</translation>
    </message>
    <message>
        <source>メールチェック</source>
        <translation>Check mail</translation>
    </message>
    <message>
        <source>入力設定</source>
        <translation>Input settings</translation>
    </message>
    <message>
        <source>入力プロパティ</source>
        <translation>Input properties</translation>
    </message>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>スナップショット(&amp;P)</source>
        <translation>Sna&amp;pshot</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>各種設定(&amp;S)</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <source>アプリケーション設定(&amp;A)</source>
        <translation>&amp;Application Settings</translation>
    </message>
    <message>
        <source>メール設定(&amp;M)</source>
        <translation>&amp;Mail Settings</translation>
    </message>
    <message>
        <source>日時表示設定(&amp;T)</source>
        <translation>Date and &amp;Time Stamp</translation>
    </message>
    <message>
        <source>入力機器(&amp;D)</source>
        <translation>&amp;Device</translation>
    </message>
    <message>
        <source>変更(&amp;C)</source>
        <translation>&amp;Change</translation>
    </message>
    <message>
        <source>設定(&amp;S)</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <source>プロパティ(&amp;P)</source>
        <translation>&amp;Properties</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>ｾﾞﾝﾄﾘﾎﾞのﾎｰﾑﾍﾟｰｼﾞ(&amp;H)</source>
        <translation>Zentrivo &amp;Home Page</translation>
    </message>
    <message>
        <source>バージョン情報(&amp;A)</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>バージョン情報 Kestrova(&amp;A)...</source>
        <translation>&amp;About Kestrova...</translation>
    </message>
    <message>
        <source>カメラが見つかりません。
メールの確認は続けます（写真の依頼はサーバーに残ります）。
カメラをつなぐと使い始めます。

カメラなしで試すには:
kestrovamail --test-pattern</source>
        <translation>No camera found.
Mail is still checked (requests for pictures stay on the server).
The camera is used as soon as it is plugged in.

To try without a camera:
kestrovamail --test-pattern</translation>
    </message>
    <message>
        <source>メールチェック中…</source>
        <translation>Checking mail…</translation>
    </message>
    <message>
        <source>カメラの一覧(&amp;L)...</source>
        <translation>Came&amp;ras...</translation>
    </message>
    <message>
        <source>カメラ%1</source>
        <translation>Camera %1</translation>
    </message>
    <message>
        <source>新着時</source>
        <translation>on new mail</translation>
    </message>
    <message>
        <source>次のチェック: %1</source>
        <translation>Next check: %1</translation>
    </message>
    <message>
        <source>最後の返信: %1</source>
        <translation>Last reply: %1</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>none</translation>
    </message>
    <message>
        <source>カメラからまだ映像が届いていません。</source>
        <translation>No picture has come from the camera yet.</translation>
    </message>
    <message>
        <source>このカメラは使用中のカメラではないため、まだ試せません。</source>
        <translation>This camera is not the one in use, so it cannot be tried yet.</translation>
    </message>
</context>
<context>
    <name>MoveSecrets</name>
    <message>
        <source>kestrovamail: %1 に移せません: %2。何も移していません</source>
        <translation>kestrovamail: cannot move to %1: %2; nothing was moved</translation>
    </message>
    <message>
        <source>移した秘密はありません（MAIL.SECRET_STORE=%1）</source>
        <translation>no secrets to move (MAIL.SECRET_STORE=%1)</translation>
    </message>
    <message>
        <source>%1 を %2 に移しました（MAIL.SECRET_STORE=%2）</source>
        <translation>moved %1 to %2 (MAIL.SECRET_STORE=%2)</translation>
    </message>
</context>
<context>
    <name>OAuthSignIn</name>
    <message>
        <source>見つかりません</source>
        <translation>Not found</translation>
    </message>
    <message>
        <source>このアドレスには何もありません。</source>
        <translation>There is nothing at this address.</translation>
    </message>
    <message>
        <source>サインインできませんでした</source>
        <translation>Not signed in</translation>
    </message>
    <message>
        <source>サインインしました</source>
        <translation>Signed in</translation>
    </message>
    <message>
        <source>このページを閉じて KestrovaMail に戻ってください。</source>
        <translation>You may close this page and return to KestrovaMail.</translation>
    </message>
</context>
<context>
    <name>ProgramFolderCheck</name>
    <message>
        <source>フォルダ %1 は別のユーザーのものなので使いません。自分のフォルダを KESTROVAMAIL_HOME で指定してください</source>
        <translation>The folder %1 belongs to another user, so it is not used. Name a folder of your own in KESTROVAMAIL_HOME</translation>
    </message>
    <message>
        <source>フォルダ %1 は他のユーザーも書き込めるため使いません。chmod 700 %1 で自分だけのフォルダにしてください</source>
        <translation>Other users can write to the folder %1, so it is not used. Make it yours alone with chmod 700 %1</translation>
    </message>
    <message>
        <source>フォルダ %1 を作れないか、自分だけのフォルダにできないため使いません</source>
        <translation>The folder %1 cannot be created or made yours alone, so it is not used</translation>
    </message>
</context>
<context>
    <name>ScreenText</name>
    <message>
        <source>POP3サーバの接続に成功しました。</source>
        <translation>Connected to the POP3 server.</translation>
    </message>
    <message>
        <source>POP3サーバの接続に失敗しました。</source>
        <translation>Could not connect to the POP3 server.</translation>
    </message>
    <message>
        <source>IMAPサーバの接続に成功しました。</source>
        <translation>Connected to the IMAP server.</translation>
    </message>
    <message>
        <source>IMAPサーバの接続に失敗しました。</source>
        <translation>Could not connect to the IMAP server.</translation>
    </message>
    <message>
        <source>SMTPサーバの接続に成功しました。</source>
        <translation>Connected to the SMTP server.</translation>
    </message>
    <message>
        <source>SMTPサーバの接続に失敗しました。</source>
        <translation>Could not connect to the SMTP server.</translation>
    </message>
    <message>
        <source>理由: </source>
        <translation>Reason: </translation>
    </message>
    <message>
        <source>設定が正しくありません</source>
        <translation>a setting is wrong</translation>
    </message>
    <message>
        <source>ホスト名が見つかりません</source>
        <translation>host name not found</translation>
    </message>
    <message>
        <source>接続が拒否されました</source>
        <translation>connection refused</translation>
    </message>
    <message>
        <source>接続がタイムアウトしました</source>
        <translation>the connection timed out</translation>
    </message>
    <message>
        <source>接続できません</source>
        <translation>cannot connect</translation>
    </message>
    <message>
        <source>サーバから制限時間内に応答がありません</source>
        <translation>no answer from the server in time</translation>
    </message>
    <message>
        <source>サーバが接続を切断しました</source>
        <translation>the server closed the connection</translation>
    </message>
    <message>
        <source>送信に失敗しました</source>
        <translation>sending failed</translation>
    </message>
    <message>
        <source>受信に失敗しました</source>
        <translation>receiving failed</translation>
    </message>
    <message>
        <source>サーバの応答が長すぎます</source>
        <translation>the server&apos;s reply is too long</translation>
    </message>
    <message>
        <source>中止しました</source>
        <translation>cancelled</translation>
    </message>
    <message>
        <source>TLS接続に失敗しました</source>
        <translation>the TLS connection failed</translation>
    </message>
    <message>
        <source>証明書が信頼できません</source>
        <translation>the certificate is not trusted</translation>
    </message>
    <message>
        <source>証明書の有効期限が切れています</source>
        <translation>the certificate has expired</translation>
    </message>
    <message>
        <source>証明書のホスト名が一致しません</source>
        <translation>the certificate does not name this host</translation>
    </message>
    <message>
        <source>サーバがSTARTTLSに対応していません</source>
        <translation>the server does not offer STARTTLS</translation>
    </message>
    <message>
        <source>サーバがSTARTTLSを拒否しました</source>
        <translation>the server refused STARTTLS</translation>
    </message>
    <message>
        <source>サーバがSSL/TLSにもSTLS/STARTTLSにも対応していないため、パスワードを送りません</source>
        <translation>the server offers neither SSL/TLS nor STLS/STARTTLS, so the password was not sent</translation>
    </message>
    <message>
        <source>サーバがSSL/TLSにもSTLS/STARTTLSにも対応していないため、アクセストークンを送りません</source>
        <translation>the server offers neither SSL/TLS nor STLS/STARTTLS, so the access token was not sent</translation>
    </message>
    <message>
        <source>（サーバが対応しているはずなら、経路の途中で対応が取り除かれたおそれがあります）</source>
        <translation> (if the server should offer it, someone on the way may have removed the offer)</translation>
    </message>
    <message>
        <source>。暗号化せずに送ってよいサーバなら次を設定してください: </source>
        <translation>. If it may go to this server unencrypted, set: </translation>
    </message>
    <message>
        <source>。SSL/TLSで接続するには次を設定してください: </source>
        <translation>. To connect with SSL/TLS, set: </translation>
    </message>
    <message>
        <source>ログインが拒否されました</source>
        <translation>the log-in was refused</translation>
    </message>
    <message>
        <source>サーバがコマンドを拒否しました</source>
        <translation>the server refused a command</translation>
    </message>
    <message>
        <source>サーバの応答が正しくありません</source>
        <translation>the server&apos;s reply is not valid</translation>
    </message>
    <message>
        <source>ディスクの空きがありません</source>
        <translation>no space left on the disk</translation>
    </message>
    <message>
        <source>ディスクの使用量が上限に達しています</source>
        <translation>the disk quota is used up</translation>
    </message>
    <message>
        <source>アクセスが許可されていません</source>
        <translation>access is not permitted</translation>
    </message>
    <message>
        <source>読み取り専用のファイルシステムです</source>
        <translation>the file system is read-only</translation>
    </message>
    <message>
        <source>同じ名前のフォルダがあります</source>
        <translation>a folder of the same name is there</translation>
    </message>
    <message>
        <source>フォルダではないものがパスの途中にあります</source>
        <translation>a part of the path is not a folder</translation>
    </message>
    <message>
        <source>ファイルまたはフォルダがありません</source>
        <translation>no such file or folder</translation>
    </message>
    <message>
        <source>パスが長すぎます</source>
        <translation>the path is too long</translation>
    </message>
    <message>
        <source>開いているファイルが多すぎます</source>
        <translation>too many open files</translation>
    </message>
    <message>
        <source>メモリが足りません</source>
        <translation>out of memory</translation>
    </message>
    <message>
        <source>入出力エラーが起きました</source>
        <translation>input/output error</translation>
    </message>
    <message>
        <source>ネットワークに到達できません</source>
        <translation>the network is unreachable</translation>
    </message>
    <message>
        <source>ホストに到達できません</source>
        <translation>the host is unreachable</translation>
    </message>
    <message>
        <source>接続がリセットされました</source>
        <translation>the connection was reset</translation>
    </message>
    <message>
        <source>接続が切れました</source>
        <translation>the connection broke</translation>
    </message>
    <message>
        <source>時間切れになりました</source>
        <translation>timed out</translation>
    </message>
    <message>
        <source>エラー: </source>
        <translation>Error: </translation>
    </message>
    <message>
        <source>POP3サーバ</source>
        <translation>POP3 server</translation>
    </message>
    <message>
        <source>SMTPサーバ</source>
        <translation>SMTP server</translation>
    </message>
    <message>
        <source>IMAPサーバ</source>
        <translation>IMAP server</translation>
    </message>
    <message>
        <source>DNS</source>
        <translation>DNS</translation>
    </message>
    <message>
        <source>写真</source>
        <translation>picture</translation>
    </message>
    <message>
        <source>設定ファイル</source>
        <translation>settings file</translation>
    </message>
    <message>
        <source>判定記録</source>
        <translation>judged-mail record</translation>
    </message>
    <message>
        <source>・</source>
        <translation>, </translation>
    </message>
    <message>
        <source>映像入力デバイスが見つかりませんでした</source>
        <translation>No video input device was found.</translation>
    </message>
    <message>
        <source>指定の映像入力デバイスが見つかりませんでした: </source>
        <translation>The chosen video input device was not found: </translation>
    </message>
    <message>
        <source>ERROR 001:初期化に失敗しました。</source>
        <translation>ERROR 001: initialisation failed.</translation>
    </message>
    <message>
        <source>パスワードが長すぎます。</source>
        <translation>The password is too long. Keep it within </translation>
    </message>
    <message>
        <source>バイトまでにしてください。</source>
        <translation> bytes.</translation>
    </message>
    <message>
        <source>テストパターン</source>
        <translation>Test pattern</translation>
    </message>
    <message>
        <source>パターン</source>
        <translation>Pattern</translation>
    </message>
    <message>
        <source>サーバが対応していません</source>
        <translation>the server does not offer it</translation>
    </message>
    <message>
        <source>ユーザ名またはパスワードが設定されていません</source>
        <translation>no user name or password is set</translation>
    </message>
    <message>
        <source>メールがサーバの受け付ける大きさを超えています</source>
        <translation>the mail is larger than the server takes</translation>
    </message>
    <message>
        <source>ERROR : </source>
        <translation>ERROR: </translation>
    </message>
    <message>
        <source>注意: </source>
        <translation>Note: </translation>
    </message>
    <message>
        <source> にアカウント </source>
        <translation>: cannot log in as </translation>
    </message>
    <message>
        <source> でログインできません: </source>
        <translation>: </translation>
    </message>
    <message>
        <source> に接続できません: </source>
        <translation>: cannot connect: </translation>
    </message>
    <message>
        <source> とのやり取りに失敗しました: </source>
        <translation>: the exchange failed: </translation>
    </message>
    <message>
        <source> で返信を送れません: </source>
        <translation>: cannot send the reply: </translation>
    </message>
    <message>
        <source>サーバが受け付けませんでした</source>
        <translation>the server did not accept it</translation>
    </message>
    <message>
        <source>（依頼はサーバーに残します）</source>
        <translation> (the requests stay on the server)</translation>
    </message>
    <message>
        <source>カメラがないため、写真の依頼に答えられません</source>
        <translation>no camera: picture requests cannot be answered</translation>
    </message>
    <message>
        <source>カメラから写真を取り込めないため、写真の依頼に答えられません</source>
        <translation>the camera gives no picture: picture requests cannot be answered</translation>
    </message>
    <message>
        <source>返信の写真をフォルダ </source>
        <translation>reply picture folder </translation>
    </message>
    <message>
        <source> に書き込めません: </source>
        <translation>: cannot write to it: </translation>
    </message>
    <message>
        <source>JPEGファイルを作れませんでした</source>
        <translation>the JPEG file could not be made</translation>
    </message>
    <message>
        <source>POP3サーバに再び接続できました</source>
        <translation>Connected to the POP3 server again</translation>
    </message>
    <message>
        <source>SMTPサーバで再び返信を送れました</source>
        <translation>Replies go out through the SMTP server again</translation>
    </message>
    <message>
        <source>返信の写真を再び用意できました</source>
        <translation>Reply pictures can be made again</translation>
    </message>
    <message>
        <source>設定ファイルを再び保存できました</source>
        <translation>The settings file was saved again</translation>
    </message>
    <message>
        <source>IMAPサーバに再び接続できました</source>
        <translation>Connected to the IMAP server again</translation>
    </message>
    <message>
        <source>POP3サーバーが設定されていません</source>
        <translation>no POP3 server is set</translation>
    </message>
    <message>
        <source>IMAPサーバーが設定されていません</source>
        <translation>no IMAP server is set</translation>
    </message>
    <message>
        <source>POP3のユーザーIDが設定されていません</source>
        <translation>no POP3 user name is set</translation>
    </message>
    <message>
        <source>POP3のパスワードが設定されていません</source>
        <translation>no POP3 password is set</translation>
    </message>
    <message>
        <source>メールチェック完了</source>
        <translation>Mail check done</translation>
    </message>
    <message>
        <source>SMTPサーバへの接続に失敗しました。</source>
        <translation>Could not connect to the SMTP server.</translation>
    </message>
    <message>
        <source>メールの返信に失敗しました</source>
        <translation>the reply could not be sent</translation>
    </message>
    <message>
        <source>送信完了</source>
        <translation>Sent </translation>
    </message>
    <message>
        <source>差出人を確認できないため答えません: </source>
        <translation>Not answered, the sender cannot be verified: </translation>
    </message>
    <message>
        <source>差出人を確認できません（次のチェックで再確認）: </source>
        <translation>The sender cannot be verified yet (tried again at the next check): </translation>
    </message>
    <message>
        <source>差出人の確認: 相手のプロバイダがDKIM署名をしない場合は、メール設定で「差出人をDKIM署名で確認する」を外すか、信頼する認証サーバーIDを設定してください</source>
        <translation>Sender check: if the sender&apos;s provider does not sign with DKIM, untick &quot;Check the sender&apos;s DKIM signature&quot; in the mail settings, or set a trusted authserv-id</translation>
    </message>
    <message>
        <source>プログラムが送ったメールには返信しません: </source>
        <translation>No reply to mail sent by a program: </translation>
    </message>
    <message>
        <source>（ポート25では送りません: </source>
        <translation> (not sent on port 25: </translation>
    </message>
    <message>
        <source>設定ファイル </source>
        <translation>settings file </translation>
    </message>
    <message>
        <source> を読み込めません: </source>
        <translation>: cannot read it: </translation>
    </message>
    <message>
        <source>（このファイルの設定は既定値で動きます）</source>
        <translation> (its settings run on their defaults)</translation>
    </message>
    <message>
        <source>ログファイルエラー</source>
        <translation>log file error</translation>
    </message>
    <message>
        <source>KestrovaMailを開始しました。</source>
        <translation>KestrovaMail started.</translation>
    </message>
    <message>
        <source>setup.ini と device.ini を読み込み直しました。</source>
        <translation>Reloaded setup.ini and device.ini.</translation>
    </message>
    <message>
        <source>許可アドレスが空のため、だれからの依頼にも写真を返信します。依頼できる人を限るには、メール設定の許可アドレスに加えてください（kestrovamail --set MAIL.SEND_ADDRESS1=アドレス）</source>
        <translation>The allow-list is empty, so anyone who asks gets a picture. To limit who may ask, add addresses to the allow-list in the mail settings (kestrovamail --set MAIL.SEND_ADDRESS1=address)</translation>
    </message>
    <message>
        <source>映像入力デバイスがありません。メールの確認は続けますが、写真の依頼には答えず、依頼はサーバーに残します。カメラがつながると使い始めます。</source>
        <translation>No video input device. Mail is still checked, but picture requests are not answered and stay on the server. The camera is used once it is plugged in.</translation>
    </message>
    <message>
        <source>映像入力デバイス「</source>
        <translation>Video input device &quot;</translation>
    </message>
    <message>
        <source>」が使えなくなりました（</source>
        <translation>&quot; is no longer usable (</translation>
    </message>
    <message>
        <source>）。戻るまで写真の依頼には答えず、依頼はサーバーに残します。</source>
        <translation>). Until it is back, picture requests are not answered and stay on the server.</translation>
    </message>
    <message>
        <source>」で撮影を再開しました。</source>
        <translation>&quot; takes pictures again.</translation>
    </message>
    <message>
        <source>」で撮影を始めました。</source>
        <translation>&quot; started taking pictures.</translation>
    </message>
    <message>
        <source> は読み切れない値のため、ファイルの値をそのまま残します。</source>
        <translation>: the value cannot be read, so the file keeps it as it is.</translation>
    </message>
    <message>
        <source> は他のユーザーも読める状態でした。パスワードを含むため、本人だけが読めるようにしました</source>
        <translation> was readable by other users; it holds passwords, so only you can read it now</translation>
    </message>
    <message>
        <source>返信の上限（1時間に</source>
        <translation>The reply limit (</translation>
    </message>
    <message>
        <source>通）に達したため、</source>
        <translation> an hour) is reached: </translation>
    </message>
    <message>
        <source> の依頼にはしばらく返信しません</source>
        <translation> gets no reply for a while</translation>
    </message>
    <message>
        <source>自動送信のメールです</source>
        <translation>an automatic mail</translation>
    </message>
    <message>
        <source>一斉配信のメールです</source>
        <translation>a bulk mail</translation>
    </message>
    <message>
        <source>メーリングリストのメールです</source>
        <translation>a mailing-list mail</translation>
    </message>
    <message>
        <source>差出人のないメールです</source>
        <translation>a mail without a sender</translation>
    </message>
    <message>
        <source>配送システムからのメールです</source>
        <translation>a mail from the delivery system</translation>
    </message>
    <message>
        <source>署名がありません</source>
        <translation>no signature</translation>
    </message>
    <message>
        <source>署名が一致しません</source>
        <translation>the signature does not match</translation>
    </message>
    <message>
        <source>鍵が見つかりません</source>
        <translation>the key was not found</translation>
    </message>
    <message>
        <source>鍵が取り消されています</source>
        <translation>the key is revoked</translation>
    </message>
    <message>
        <source>鍵が短すぎます</source>
        <translation>the key is too short</translation>
    </message>
    <message>
        <source>鍵が使えません</source>
        <translation>the key cannot be used</translation>
    </message>
    <message>
        <source>署名の期限が切れています</source>
        <translation>the signature has expired</translation>
    </message>
    <message>
        <source>本文の一部しか署名されていません</source>
        <translation>only part of the body is signed</translation>
    </message>
    <message>
        <source>署名が差出人を含みません</source>
        <translation>the signature does not cover the sender</translation>
    </message>
    <message>
        <source>署名が件名を含みません</source>
        <translation>the signature does not cover the subject</translation>
    </message>
    <message>
        <source>鍵が試験用です</source>
        <translation>the key is marked as testing</translation>
    </message>
    <message>
        <source>DNSが応答しません</source>
        <translation>DNS does not answer</translation>
    </message>
    <message>
        <source>署名のドメインが差出人と異なります</source>
        <translation>the signing domain is not the sender&apos;s</translation>
    </message>
    <message>
        <source>メールの形式が正しくありません</source>
        <translation>the mail is malformed</translation>
    </message>
    <message>
        <source>差出人の欄が正しくありません</source>
        <translation>the From field is malformed</translation>
    </message>
    <message>
        <source>件名の欄が正しくありません</source>
        <translation>the Subject field is malformed</translation>
    </message>
    <message>
        <source>メールが大きすぎます</source>
        <translation>the mail is too large</translation>
    </message>
    <message>
        <source>メールがなくなりました</source>
        <translation>the mail is gone</translation>
    </message>
    <message>
        <source>サーバがメールを受け取った可能性があります</source>
        <translation>the server may have taken the mail</translation>
    </message>
    <message>
        <source>TLSで保護できなかった経路の代わりにはしません</source>
        <translation>it does not stand in for a route TLS could not protect</translation>
    </message>
    <message>
        <source>ポート25のサーバ: </source>
        <translation>the port 25 server: </translation>
    </message>
    <message>
        <source> の [</source>
        <translation> [</translation>
    </message>
    <message>
        <source>（</source>
        <translation> (</translation>
    </message>
    <message>
        <source>）</source>
        <translation>)</translation>
    </message>
    <message>
        <source>判定済みメールの記録を再び保存できました</source>
        <translation>The judged-mail record was saved again</translation>
    </message>
    <message>
        <source>判定済みメールの記録 </source>
        <translation>judged-mail record </translation>
    </message>
    <message>
        <source>（この実行の間は覚えておきます）</source>
        <translation> (kept in memory for this run)</translation>
    </message>
    <message>
        <source>DNSが再び応答しました</source>
        <translation>DNS answers again</translation>
    </message>
    <message>
        <source>DNSが応答しないため、差出人の署名の鍵を確かめられません（依頼はサーバーに残し、次のチェックで再確認します）</source>
        <translation>DNS does not answer, so the sender&apos;s signing key cannot be checked (the requests stay on the server and are checked again next time)</translation>
    </message>
    <message>
        <source>サインインし直してください (メール設定の「サインイン…」または kestrovamail --sign-in)</source>
        <translation>sign in again (Sign in… in the mail settings, or kestrovamail --sign-in)</translation>
    </message>
    <message>
        <source>認可サーバが要求を拒否しました</source>
        <translation>the authorization server refused the request</translation>
    </message>
    <message>
        <source>サインイン</source>
        <translation>sign-in</translation>
    </message>
    <message>
        <source>アクセストークンを再び得られました</source>
        <translation>access tokens are issued again</translation>
    </message>
    <message>
        <source>アカウント </source>
        <translation>account </translation>
    </message>
    <message>
        <source> のサインインが必要です: </source>
        <translation> needs a new sign-in: </translation>
    </message>
    <message>
        <source>認可サーバ </source>
        <translation>authorization server </translation>
    </message>
    <message>
        <source> からアクセストークンを得られません: </source>
        <translation>: cannot get an access token: </translation>
    </message>
    <message>
        <source>ファイルに書き込めません</source>
        <translation>cannot write the file</translation>
    </message>
    <message>
        <source>メールのアカウントの設定が足りないため、メールを確認しません。メールアドレスから設定するには、メール設定の「自動設定」か kestrovamail --set-up アドレス を使います</source>
        <translation>The mail account is not set up, so no mail is checked. To set it up from the mail address, use &quot;Find settings&quot; in the mail settings or kestrovamail --set-up ADDRESS</translation>
    </message>
    <message>
        <source>キーリングから再びパスワードを読めました</source>
        <translation>the passwords can be read from the keyring again</translation>
    </message>
    <message>
        <source>キーリングがロックされています（ロックを解除するか、MAIL.SECRET_STORE=file に戻してください: kestrovamail --move-secrets file）</source>
        <translation>the keyring is locked (unlock it, or go back to MAIL.SECRET_STORE=file: kestrovamail --move-secrets file)</translation>
    </message>
    <message>
        <source>キーリングに接続できません（MAIL.SECRET_STORE=keyring）</source>
        <translation>the keyring cannot be reached (MAIL.SECRET_STORE=keyring)</translation>
    </message>
    <message>
        <source>メールのパスワードを読めません: </source>
        <translation>cannot read the mail passwords: </translation>
    </message>
    <message>
        <source>サインインを読めません: </source>
        <translation>cannot read the sign-in: </translation>
    </message>
    <message>
        <source> をキーリングに保存できません: </source>
        <translation>: cannot keep it in the keyring: </translation>
    </message>
    <message>
        <source>今の保存先のキーリングを読めません: </source>
        <translation>cannot read the keyring the secrets are in now: </translation>
    </message>
    <message>
        <source>は usb、rtsp、mjpeg、snapshot のどれでもないため usb とします</source>
        <translation>is none of usb, rtsp, mjpeg and snapshot, so usb is taken</translation>
    </message>
    <message>
        <source>のユーザー名とパスワードは、次の保存で USER とパスワードの保存先に移します</source>
        <translation>holds a user name and password, which the next save moves to USER and the password store</translation>
    </message>
    <message>
        <source>は TYPE に合わないアドレス（rtsp は rtsp:// か rtsps://、mjpeg と snapshot は http:// か https://）のため使いません: </source>
        <translation>does not fit TYPE (rtsp takes rtsp:// or rtsps://, mjpeg and snapshot http:// or https://), so it is not used: </translation>
    </message>
    <message>
        <source>は名前に使えない文字（改行、制御文字、「,」「;」）を含むか 32 文字を超えるため使いません</source>
        <translation>holds characters a name may not hold (line breaks, control characters, &quot;,&quot; or &quot;;&quot;) or is longer than 32 characters, so it is not used</translation>
    </message>
    <message>
        <source>は前のカメラと同じ名前のため使いません: </source>
        <translation>is the name of a camera before it, so it is not used: </translation>
    </message>
    <message>
        <source>カメラのパスワードを読めません: </source>
        <translation>cannot read the cameras&apos; passwords: </translation>
    </message>
</context>
<context>
    <name>SetUpCommand</name>
    <message>
        <source>kestrovamail: 何も書き込んでいません</source>
        <translation>kestrovamail: nothing was written</translation>
    </message>
    <message>
        <source>--dry-run のため何も書き込んでいません</source>
        <translation>Nothing was written (--dry-run)</translation>
    </message>
    <message>
        <source>設定を書き込みました。</source>
        <translation>The settings were written.</translation>
    </message>
    <message>
        <source>次にサインインします: kestrovamail --sign-in</source>
        <translation>Next, sign in: kestrovamail --sign-in</translation>
    </message>
    <message>
        <source>次にパスワードを設定します: kestrovamail --set-password pop3</source>
        <translation>Next, set the password: kestrovamail --set-password pop3</translation>
    </message>
    <message>
        <source>使うときは --accept-other-domain を付けてもう一度実行してください</source>
        <translation>to use them, run again with --accept-other-domain</translation>
    </message>
</context>
<context>
    <name>SettingsCommands</name>
    <message>
        <source>は改行を含みます</source>
        <translation>holds a line break</translation>
    </message>
    <message>
        <source>はUTF-8のテキストではありません</source>
        <translation>is not UTF-8 text</translation>
    </message>
    <message>
        <source>は設定ファイルのコードページ932にない文字を含みます</source>
        <translation>holds characters that code page 932 (the settings files) cannot hold</translation>
    </message>
    <message>
        <source>はコードページ932で%1バイトを超えます</source>
        <translation>is longer than %1 bytes of code page 932</translation>
    </message>
    <message>
        <source>は on か off です</source>
        <translation>takes on or off</translation>
    </message>
    <message>
        <source>は%1から%2までの整数です</source>
        <translation>takes a whole number from %1 to %2</translation>
    </message>
    <message>
        <source>は #RRGGBB か0から16777215までの数（0x00BBGGRR）です</source>
        <translation>takes #RRGGBB or a number from 0 to 16777215 (0x00BBGGRR)</translation>
    </message>
    <message>
        <source>は none、starttls、tls、auto（ポートで決める）のどれかです</source>
        <translation>takes none, starttls, tls or auto (the port decides)</translation>
    </message>
    <message>
        <source>は pop3 か imap です</source>
        <translation>takes pop3 or imap</translation>
    </message>
    <message>
        <source>は off か dkim です</source>
        <translation>takes off or dkim</translation>
    </message>
    <message>
        <source>MAIL.RECEIVE_PROTOCOL imap には MAIL.IMAP_SERVER が必要です</source>
        <translation>MAIL.RECEIVE_PROTOCOL imap needs MAIL.IMAP_SERVER</translation>
    </message>
    <message>
        <source>は --set-password %1 で設定します（コマンドラインからではなく標準入力から読みます）</source>
        <translation>is set with --set-password %1 (read from standard input, never from the command line)</translation>
    </message>
    <message>
        <source>は password か oauth2 です</source>
        <translation>takes password or oauth2</translation>
    </message>
    <message>
        <source>kestrovamail: %1 に設定を書き込めません</source>
        <translation>kestrovamail: cannot write the settings in %1</translation>
    </message>
    <message>
        <source>kestrovamail: --set %1: 知っている設定の SECTION.KEY=VALUE ではありません（一覧は kestrovamail --show-settings）</source>
        <translation>kestrovamail: --set %1: not SECTION.KEY=VALUE with a known setting (kestrovamail --show-settings lists them)</translation>
    </message>
    <message>
        <source>kestrovamail: %1 %2。何も変えていません</source>
        <translation>kestrovamail: %1 %2; nothing was changed</translation>
    </message>
    <message>
        <source>kestrovamail: %1。何も変えていません</source>
        <translation>kestrovamail: %1; nothing was changed</translation>
    </message>
    <message>
        <source>OAuthクライアントシークレット: </source>
        <translation>OAuth client secret: </translation>
    </message>
    <message>
        <source>%1のパスワード: </source>
        <translation>%1 password: </translation>
    </message>
    <message>
        <source>kestrovamail: パスワード%1。何も変えていません</source>
        <translation>kestrovamail: the password %1; nothing was changed</translation>
    </message>
    <message>
        <source>kestrovamail: パスワードが%1バイトを超えています。何も変えていません</source>
        <translation>kestrovamail: the password is longer than %1 bytes; nothing was changed</translation>
    </message>
    <message>
        <source>は --move-secrets keyring か --move-secrets file で変えます（秘密も一緒に移します）</source>
        <translation>is changed with --move-secrets keyring or --move-secrets file (which moves the secrets with it)</translation>
    </message>
    <message>
        <source>は usb、rtsp、mjpeg、snapshot のどれかです</source>
        <translation>takes usb, rtsp, mjpeg or snapshot</translation>
    </message>
    <message>
        <source>は改行や制御文字を含みます</source>
        <translation>holds a line break or another control character</translation>
    </message>
    <message>
        <source>は「,」か「;」を含みます</source>
        <translation>holds &quot;,&quot; or &quot;;&quot;</translation>
    </message>
    <message>
        <source>は%1文字までです</source>
        <translation>takes at most %1 characters</translation>
    </message>
    <message>
        <source>が%1バイトを超えています</source>
        <translation>is longer than %1 bytes</translation>
    </message>
    <message>
        <source>CAMERA%1.ADDRESS は TYPE %2 に合いません（rtsp は rtsp:// か rtsps://、mjpeg と snapshot は http:// か https:// で始まります）</source>
        <translation>CAMERA%1.ADDRESS does not fit TYPE %2 (rtsp takes rtsp:// or rtsps://, mjpeg and snapshot take http:// or https://)</translation>
    </message>
    <message>
        <source>カメラが2台以上のときは CAMERA%1.NAME が必要です</source>
        <translation>CAMERA%1.NAME is needed while there are two cameras or more</translation>
    </message>
    <message>
        <source>CAMERA%1.NAME は CAMERA%2 と同じ名前です</source>
        <translation>CAMERA%1.NAME is the name of CAMERA%2</translation>
    </message>
    <message>
        <source>のパスワード%1</source>
        <translation>: the password in it %1</translation>
    </message>
    <message>
        <source>のユーザー名%1</source>
        <translation>: the user name in it %1</translation>
    </message>
    <message>
        <source>kestrovamail: --set-password: &quot;%1&quot; という名前のカメラはありません（カメラ: %2）</source>
        <translation>kestrovamail: --set-password: there is no camera called &quot;%1&quot; (cameras: %2)</translation>
    </message>
    <message>
        <source>kestrovamail: --set-password は pop3、smtp、oauth-client、camera:NAME のどれかです（&quot;%1&quot; は違います）</source>
        <translation>kestrovamail: --set-password takes pop3, smtp, oauth-client or camera:NAME, not &quot;%1&quot;</translation>
    </message>
    <message>
        <source>カメラ %1 のパスワード: </source>
        <translation>Password of camera %1: </translation>
    </message>
    <message>
        <source>kestrovamail: --remove-camera: &quot;%1&quot; という名前のカメラはありません（カメラ: %2）</source>
        <translation>kestrovamail: --remove-camera: there is no camera called &quot;%1&quot; (cameras: %2)</translation>
    </message>
    <message>
        <source>kestrovamail: --remove-camera: 最後のカメラは外せません（--set CAMERA1.KEY=VALUE で変えます）</source>
        <translation>kestrovamail: --remove-camera: the last camera stays (change it with --set CAMERA1.KEY=VALUE)</translation>
    </message>
    <message>
        <source>kestrovamail: --remove-camera: キーリングを読めないため、カメラを外せません。何も変えていません</source>
        <translation>kestrovamail: --remove-camera: the keyring cannot be read, so no camera can be removed; nothing was changed</translation>
    </message>
    <message>
        <source>カメラ %1 を外しました（残りのカメラ: %2）</source>
        <translation>Camera %1 was removed (cameras left: %2)</translation>
    </message>
    <message>
        <source>は番号が飛んでいます（今はカメラが%2台。次に足せるのは CAMERA%1 です）</source>
        <translation>skips a number: there are %2 cameras, and the next one to add is CAMERA%1</translation>
    </message>
    <message>
        <source>は low、medium、high のどれかです</source>
        <translation>takes low, medium or high</translation>
    </message>
    <message>
        <source>は ja か en です</source>
        <translation>takes ja or en</translation>
    </message>
    <message>
        <source>の「%1」が読めません（always か、曜日と時間の範囲を「;」で区切ります: mon-fri 22:00-06:00; sat,sun always）</source>
        <translation>cannot be read at &quot;%1&quot; (always, or weekdays and time ranges separated by &quot;;&quot;: mon-fri 22:00-06:00; sat,sun always)</translation>
    </message>
    <message>
        <source>の「%1」が読めません（HH:MM を「,」で区切ります: 07:00,12:00）</source>
        <translation>cannot be read at &quot;%1&quot; (times HH:MM separated by &quot;,&quot;: 07:00,12:00)</translation>
    </message>
    <message>
        <source>の「%1」は 00:00 から 23:59 までの HH:MM ではありません</source>
        <translation>&quot;%1&quot; is not a time HH:MM from 00:00 to 23:59</translation>
    </message>
    <message>
        <source>の「%1」は 00:00 から 24:00 までの HH:MM ではありません</source>
        <translation>&quot;%1&quot; is not a time HH:MM from 00:00 to 24:00</translation>
    </message>
    <message>
        <source>の「%1」が読めません（all か、mon、tue、wed、thu、fri、sat、sun を「,」で区切ります。mon-fri のような範囲も使えます）</source>
        <translation>cannot be read at &quot;%1&quot; (all, or mon, tue, wed, thu, fri, sat, sun separated by &quot;,&quot;; ranges such as mon-fri too)</translation>
    </message>
    <message>
        <source>の「%1」が読めません（all か、カメラの名前を「,」で区切ります）</source>
        <translation>cannot be read at &quot;%1&quot; (all, or the cameras' names separated by &quot;,&quot;)</translation>
    </message>
    <message>
        <source>の「%1」が読めません（x,y,w,h を画面の百分率で書き、「;」で区切ります。0 から 100 まで、画面の中で、幅と高さは 1 以上）</source>
        <translation>cannot be read at &quot;%1&quot; (rectangles x,y,w,h in percent of the picture separated by &quot;;&quot;: 0 to 100, inside the picture, width and height at least 1)</translation>
    </message>
    <message>
        <source>はメールの命令の言葉です（arm、disarm、警戒、解除、video、clip、動画 はカメラの名前にできません）</source>
        <translation>is a word of the mail commands (arm, disarm, 警戒, 解除, video, clip and 動画 cannot name a camera)</translation>
    </message>
    <message>
        <source>は %1 の後です（今は%2件）</source>
        <translation>comes after %1: the list has %2 entries</translation>
    </message>
    <message>
        <source>SCHEDULE.EVERY_MINUTES には SCHEDULE.FROM（%1）より後の SCHEDULE.TO が必要です（今は %2）</source>
        <translation>SCHEDULE.EVERY_MINUTES needs a SCHEDULE.TO after SCHEDULE.FROM (%1); it is %2</translation>
    </message>
    <message>
        <source>SCHEDULE.CAMERAS の「%1」という名前のカメラはありません（カメラ: %2）</source>
        <translation>SCHEDULE.CAMERAS: there is no camera called &quot;%1&quot; (cameras: %2)</translation>
    </message>
</context>
<context>
    <name>SignInCommand</name>
    <message>
        <source>メールのログイン方式が OAuth 2.0 ではありません（kestrovamail --set MAIL.AUTH_METHOD=oauth2）</source>
        <translation>mail does not log in with OAuth 2.0 (kestrovamail --set MAIL.AUTH_METHOD=oauth2)</translation>
    </message>
    <message>
        <source>サインインするプロバイダーを設定してください（kestrovamail --set MAIL.OAUTH_PROVIDER=google、microsoft か custom）</source>
        <translation>set the provider to sign in with (kestrovamail --set MAIL.OAUTH_PROVIDER=google, microsoft or custom)</translation>
    </message>
    <message>
        <source>このプロバイダーはメールのためのデバイスコードでのサインインを認めていません。--device-code を付けずにサインインしてください</source>
        <translation>this provider does not allow signing in with a device code for mail; sign in without --device-code</translation>
    </message>
    <message>
        <source>%1 が設定されていないか、https のアドレスではありません（kestrovamail --set %1=https://…）</source>
        <translation>%1 is not set or not an https address (kestrovamail --set %1=https://...)</translation>
    </message>
    <message>
        <source>%1 が設定されていないか、使えない値です（kestrovamail --set %1=値）</source>
        <translation>%1 is not set or cannot be used (kestrovamail --set %1=VALUE)</translation>
    </message>
    <message>
        <source>これはサインインの戻り先のアドレスではありません（%1 で始まります）。もう一度貼り付けてください。</source>
        <translation>This is not the address the sign-in comes back to (it begins with %1). Paste it again.</translation>
    </message>
    <message>
        <source>このアドレスをブラウザーで開き、メールのアカウントでサインインしてください:</source>
        <translation>Open this address in a browser and sign in with the mail account:</translation>
    </message>
    <message>
        <source>終わるとブラウザーはこのプログラムに戻ります。ブラウザーが別の機器にあるときは、最後に開いたページ（%1 で始まり、表示されないページ）のアドレスをここに貼り付けて Enter を押してください。</source>
        <translation>When you are done, the browser comes back to this program. If the browser runs on another device, paste the address of the last page it opened (it begins with %1 and does not load) here and press Enter.</translation>
    </message>
    <message>
        <source>待っています（%1 分まで。Ctrl+C で中止）…</source>
        <translation>Waiting (up to %1 minutes; Ctrl+C cancels)...</translation>
    </message>
    <message>
        <source>ブラウザーで %1 を開き、コード %2 を入力してサインインしてください。</source>
        <translation>Open %1 in a browser, enter the code %2 and sign in.</translation>
    </message>
    <message>
        <source>（%1 を開くとコードは入力済みです）</source>
        <translation>(or open %1, which has the code filled in)</translation>
    </message>
    <message>
        <source>サインインできませんでした: %1</source>
        <translation>not signed in: %1</translation>
    </message>
    <message>
        <source>サインインしました。メールの確認と返信はこのサインインで行います。</source>
        <translation>Signed in. Mail is checked and answered with this sign-in from now on.</translation>
    </message>
</context>
</TS>
