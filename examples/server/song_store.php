<?php
// The latest song, kept in one small JSON file. Shared by the receiver
// (set_current_song.php) and the page (now_playing.php).
declare(strict_types=1);

// A setting from the environment or from the web server (SetEnv in Apache,
// fastcgi_param in nginx); never from the request.
function server_setting(string $name): ?string
{
    $value = getenv($name);
    if (!is_string($value) || $value === '') {
        $value = $_SERVER[$name] ?? null;
    }
    return is_string($value) && $value !== '' ? $value : null;
}

// Where the song is kept: TRACKWIRE_SONG_FILE, or now_playing.json here.
function song_file(): string
{
    return server_setting('TRACKWIRE_SONG_FILE') ?? __DIR__ . '/now_playing.json';
}

// The plug-in sends the player's ANSI code page; on most Western systems
// that is Windows-1252. Set TRACKWIRE_ENCODING (e.g. UTF-8, Windows-1251)
// for another one.
function source_encoding(): string
{
    return server_setting('TRACKWIRE_ENCODING') ?? 'Windows-1252';
}

// Windows-1252 bytes 0x80 to 0x9F; the rest agrees with ISO-8859-1.
const CP1252_HIGH = [
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
];

function cp1252_to_utf8(string $bytes): string
{
    $out = '';
    $length = strlen($bytes);
    for ($i = 0; $i < $length; $i++) {
        $byte = ord($bytes[$i]);
        if ($byte < 0x80) {
            $out .= $bytes[$i];
        } else {
            $out .= mb_chr_utf8($byte < 0xA0 ? CP1252_HIGH[$byte - 0x80] : $byte);
        }
    }
    return $out;
}

// mbstring is not part of Debian's php-cli; this needs no extension.
function mb_chr_utf8(int $code): string
{
    if ($code < 0x80) {
        return chr($code);
    }
    if ($code < 0x800) {
        return chr(0xC0 | ($code >> 6)) . chr(0x80 | ($code & 0x3F));
    }
    return chr(0xE0 | ($code >> 12)) . chr(0x80 | (($code >> 6) & 0x3F))
        . chr(0x80 | ($code & 0x3F));
}

// UTF-8 as it is; each byte that starts no well-formed sequence becomes
// U+FFFD, as in the native receiver.
function scrub_utf8(string $bytes): string
{
    return preg_replace_callback(
        '/[\x00-\x7F]|[\xC2-\xDF][\x80-\xBF]|\xE0[\xA0-\xBF][\x80-\xBF]'
        . '|[\xE1-\xEC\xEE\xEF][\x80-\xBF]{2}|\xED[\x80-\x9F][\x80-\xBF]'
        . '|\xF0[\x90-\xBF][\x80-\xBF]{2}|[\xF1-\xF3][\x80-\xBF]{3}'
        . '|\xF4[\x80-\x8F][\x80-\xBF]{2}|(.)/s',
        fn(array $m): string => isset($m[1]) ? "\u{FFFD}" : $m[0],
        $bytes
    ) ?? '';
}

// Turns the raw bytes of one query value into clean UTF-8 text: converted
// from the source encoding (UTF-8 when the report says charset=utf-8),
// control characters dropped, at most 500 characters.
function to_clean_utf8(string $bytes, bool $utf8 = false): string
{
    $encoding = source_encoding();
    if ($utf8) {
        $text = scrub_utf8($bytes);
    } elseif (strcasecmp($encoding, 'Windows-1252') === 0 || strcasecmp($encoding, 'CP1252') === 0) {
        $text = cp1252_to_utf8($bytes);
    } elseif (strcasecmp($encoding, 'UTF-8') === 0) {
        $text = $bytes;
    } else {
        $converted = function_exists('iconv') ? @iconv($encoding, 'UTF-8//IGNORE', $bytes) : false;
        $text = $converted === false ? cp1252_to_utf8($bytes) : $converted;
    }
    // Invalid UTF-8 (possible with TRACKWIRE_ENCODING=UTF-8) is replaced.
    if (preg_match('//u', $text) !== 1) {
        $text = cp1252_to_utf8($text);
    }
    $text = preg_replace('/[\x{0000}-\x{001F}\x{007F}-\x{009F}]/u', '', $text) ?? '';
    if (preg_match_all('/./us', $text, $chars) > 500) {
        $text = implode('', array_slice($chars[0], 0, 500));
    }
    return trim($text);
}

// The first value of each wanted name in a raw query string, percent-decoded
// to bytes, '+' a space as in $_GET (the plug-in writes a space as %20 and a
// plus sign as %2B); names like artist[] are not taken for artist.
function query_values(string $query, array $names): array
{
    $values = [];
    foreach (explode('&', $query) as $pair) {
        $parts = explode('=', $pair, 2);
        $name = urldecode($parts[0]);
        if (in_array($name, $names, true) && !array_key_exists($name, $values)) {
            $values[$name] = urldecode($parts[1] ?? '');
        }
    }
    return $values;
}

// Whether the query has charset=utf-8, name and value in any case; the
// first charset decides. The plug-in sends UTF-8 then.
function says_utf8(string $query): bool
{
    foreach (explode('&', $query) as $pair) {
        $parts = explode('=', $pair, 2);
        if (strcasecmp(urldecode($parts[0]), 'charset') === 0) {
            return strcasecmp(urldecode($parts[1] ?? ''), 'utf-8') === 0;
        }
    }
    return false;
}

// Writes the song to a temporary file beside the target and renames it over
// the target, so that a reader sees the old song or the new one, never half.
function store_song(array $song): bool
{
    $file = song_file();
    $json = json_encode($song, JSON_PRETTY_PRINT | JSON_UNESCAPED_SLASHES
        | JSON_UNESCAPED_UNICODE | JSON_INVALID_UTF8_SUBSTITUTE);
    if ($json === false) {
        return false;
    }
    $temp = @tempnam(dirname($file), '.song');
    if ($temp === false) {
        return false;
    }
    if (@file_put_contents($temp, $json . "\n") === false || !@rename($temp, $file)) {
        @unlink($temp);
        return false;
    }
    @chmod($file, 0644);
    return true;
}

// The stored song, or null when there is none yet or the file is unreadable.
function load_song(): ?array
{
    $json = @file_get_contents(song_file());
    if ($json === false) {
        return null;
    }
    $song = json_decode($json, true);
    if (!is_array($song)) {
        return null;
    }
    $clean = [];
    foreach (['artist', 'album', 'title', 'received'] as $key) {
        $clean[$key] = is_string($song[$key] ?? null) ? $song[$key] : '';
    }
    return $clean;
}
