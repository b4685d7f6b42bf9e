#pragma once
// What the user chose to protect a mail server connection with. ByPort: never chosen (the key
// is missing from setup.ini); the port decides (see EffectiveTlsMode in mail/net/MailSecurity.h).
enum class SecurityChoice { ByPort, None, StartTls, Tls };
