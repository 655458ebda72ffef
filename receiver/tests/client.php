<?php
// Loopback client for receiver_wine_test.sh, one command per run:
//   ready PORT                 waits until the port takes connections
//   fire PORT QUERY            the plug-in's exact request, then hangs up
//   send PORT CASE             a request of the named kind; prints the status
//   get PORT TARGET            prints the body of a GET
//   silent PORT                connects, sends nothing, prints when dropped
//   events PORT ROUNDS [ALBUM] reports while following /events; prints the
//                              delay from each report to its event (with
//                              ALBUM, the album of report N is "ALBUM N%7")
//   watch FOLDER STOP_FILE     records every song seen in now_playing.json
//                              and now_playing.txt until STOP_FILE exists
//   raw PORT BYTES             sends BYTES as they are; prints the answer
//   fire-raw PORT BYTES        sends BYTES as they are, then hangs up
//   continue PORT QUERY        a report with "Expect: 100-continue" and a
//                              body; prints the interim and final status
//   reports PORT N PREFIX PAD  N reports in turn, titled "PREFIX 1" to
//                              "PREFIX N", with an artist of PAD times "É";
//                              prints the statuses and the slowest answer
//   crowd PORT F I N           holds F followers of /events and I idle
//                              connections, opened again as they close, and
//                              sends N reports meanwhile; prints how many
//                              were stored
//   followers PORT N           opens N followers of /events one by one;
//                              prints which of them the receiver closed
//   mid-request PORT N         starts a report, opens N idle connections,
//                              finishes the report; prints its status and
//                              which idle connections the receiver closed
//   slow-follower PORT         follows /events with small socket buffers
//                              and reads nothing past the first ping while
//                              large songs come, then reads on; prints
//                              whether the stream stayed and a next song came
declare(strict_types=1);

function connect(int $port)
{
    $socket = @fsockopen('127.0.0.1', $port, $errno, $error, 5);
    if (!$socket) {
        fwrite(STDERR, "client: no connection to port $port: $error\n");
        exit(1);
    }
    return $socket;
}

function plugin_request(string $query): string
{
    return "GET /set_current_song.php?$query HTTP/1.1\r\nHost: 127.0.0.1\r\n"
        . "User-Agent: Winamp Tunebeacon\r\n\r\n";
}

function fire(int $port, string $query): void
{
    $socket = connect($port);
    fwrite($socket, plugin_request($query));
    fclose($socket);
}

function answer_status(string $answer): string
{
    return preg_match('#^HTTP/1\.[01] (\d{3})#', $answer, $m) ? $m[1] : 'no answer';
}

// Sends, then reads until the receiver closes or 5 s pass.
function exchange(int $port, string $request): string
{
    $socket = connect($port);
    fwrite($socket, $request);
    stream_set_timeout($socket, 5);
    $answer = (string)stream_get_contents($socket);
    fclose($socket);
    return $answer;
}

function request_for(string $case): string
{
    $long = str_repeat('a', 20 * 1024);
    return match ($case) {
        'garbage' => "\x00\xFF\x16\x03\x01 \r\n\xC3\x28garbage\r\n\r\n",
        'long-line' => "GET /set_current_song.php?title=$long HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
        'long-header' => "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: $long\r\n\r\n",
        'big-body' => "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1000000\r\n\r\n",
        'long-line-lf' => "GET /set_current_song.php?title=$long HTTP/1.1\nHost: 127.0.0.1\n\n",
        'long-header-lf' => "GET / HTTP/1.1\nHost: 127.0.0.1\nCookie: $long\n\n",
        'big-body-lf' => "GET / HTTP/1.1\nHost: 127.0.0.1\nContent-Length: 1000000\n\n",
        'post' => "POST /set_current_song.php?title=posted HTTP/1.1\r\nHost: 127.0.0.1\r\n"
            . "Content-Length: 0\r\nConnection: close\r\n\r\n",
        'unknown-path' => "GET /../now_playing.txt HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
        'no-values' => "GET /set_current_song.php?song=x HTTP/1.1\r\nHost: 127.0.0.1\r\n"
            . "Connection: close\r\n\r\n",
        'page' => "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
    };
}

function silent(int $port): void
{
    $socket = connect($port);
    $start = microtime(true);
    stream_set_timeout($socket, 15);
    $data = fread($socket, 1);
    $info = stream_get_meta_data($socket);
    $seconds = microtime(true) - $start;
    echo $info['timed_out'] ? "still open after 15 s\n"
        : sprintf("dropped after %.0f s%s\n", $seconds, $data === '' ? '' : ' with data');
}

// Reads what the stream has until `$needle` shows up or `$deadline` passes.
function read_until($socket, string &$seen, string $needle, float $deadline): bool
{
    while (!str_contains($seen, $needle)) {
        $left = $deadline - microtime(true);
        if ($left <= 0) {
            return false;
        }
        $read = [$socket];
        $write = $except = null;
        if (stream_select($read, $write, $except, 0, (int)($left * 1e6)) > 0) {
            $chunk = fread($socket, 65536);
            if ($chunk === '' || $chunk === false) {
                return false;
            }
            $seen .= $chunk;
        }
    }
    return true;
}

function events(int $port, int $rounds, string $album_stem = ''): int
{
    $socket = connect($port);
    fwrite($socket, "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n");
    $seen = '';
    if (!read_until($socket, $seen, "\r\n\r\n", microtime(true) + 5)) {
        echo "no event stream header\n";
        return 1;
    }
    if (answer_status($seen) !== '200' || stripos($seen, "content-type: text/event-stream") === false) {
        echo "not an event stream: ", strtok($seen, "\r"), "\n";
        return 1;
    }
    $delays = [];
    for ($round = 1; $round <= $rounds; $round++) {
        $title = "Event $round " . bin2hex(random_bytes(4));
        $start = microtime(true);
        $album = $album_stem === '' ? '' : $album_stem . ' ' . ($round % 7);
        fire($port, 'artist=Bench&album=' . rawurlencode($album) . '&title=' . rawurlencode($title));
        $needle = 'data: {"artist": "Bench", "album": "' . $album . '", "title": "' . $title . '", "received": "';
        if (!read_until($socket, $seen, $needle, $start + 2)) {
            echo "no event within 2 s for report $round\n";
            return 1;
        }
        $delays[] = (microtime(true) - $start) * 1000;
        $seen = substr($seen, strpos($seen, $needle) + strlen($needle));
    }
    sort($delays);
    printf("event latency: %d reports, median %.1f ms, max %.1f ms\n",
        $rounds, $delays[intdiv($rounds, 2)], end($delays));
    return 0;
}

// Reads a whole answer: until the receiver closes or 5 s pass.
function answer_of($socket): string
{
    stream_set_timeout($socket, 5);
    return (string)stream_get_contents($socket);
}

function report_request(string $query): string
{
    return "GET /set_current_song.php?$query HTTP/1.1\r\nHost: 127.0.0.1\r\n"
        . "User-Agent: Winamp Tunebeacon\r\nConnection: close\r\n\r\n";
}

// Indexes as ranges: "1-17 20".
function ranges(array $numbers): string
{
    $out = [];
    $start = $previous = null;
    foreach ($numbers as $number) {
        if ($previous !== null && $number === $previous + 1) {
            $previous = $number;
            continue;
        }
        if ($start !== null) {
            $out[] = $start === $previous ? "$start" : "$start-$previous";
        }
        $start = $previous = $number;
    }
    if ($start !== null) {
        $out[] = $start === $previous ? "$start" : "$start-$previous";
    }
    return $out === [] ? 'none' : implode(' ', $out);
}

// Which of the sockets the receiver has closed, after waiting a moment.
function closed_ones(array $sockets): array
{
    $deadline = microtime(true) + 1;
    $closed = [];
    while (microtime(true) < $deadline && count($closed) < count($sockets)) {
        $read = array_diff_key($sockets, $closed);
        $write = $except = null;
        if (stream_select($read, $write, $except, 0, 100000) > 0) {
            foreach ($read as $index => $socket) {
                $data = fread($socket, 65536);
                if ($data === '' || $data === false) {
                    $closed[$index] = true;
                }
            }
        }
    }
    $indexes = array_map(fn($index) => $index + 1, array_keys($closed));
    sort($indexes);
    return $indexes;
}

function continue_report(int $port, string $query): void
{
    $socket = connect($port);
    fwrite($socket, "GET /set_current_song.php?$query HTTP/1.1\r\nHost: 127.0.0.1\r\n"
        . "Expect: 100-continue\r\nContent-Length: 5\r\nConnection: close\r\n\r\n");
    $seen = '';
    $interim = read_until($socket, $seen, "\r\n\r\n", microtime(true) + 2)
        ? answer_status($seen) : 'none';
    fwrite($socket, 'hello');
    $all = $seen . answer_of($socket);
    fclose($socket);
    $final = preg_match_all('#HTTP/1\.[01] (\d{3})#', $all, $m) ? end($m[1]) : 'no answer';
    echo "$interim $final\n";
}

function reports(int $port, int $count, string $prefix, int $pad): void
{
    $statuses = [];
    $slowest = 0.0;
    $artist = str_repeat('%C9', $pad);
    for ($i = 1; $i <= $count; $i++) {
        $start = microtime(true);
        $status = answer_status(exchange($port, report_request(
            "artist=$artist&album=&title=" . rawurlencode("$prefix $i"))));
        $slowest = max($slowest, microtime(true) - $start);
        $statuses[$status] = ($statuses[$status] ?? 0) + 1;
        if ($status === 'no answer') {
            echo "no answer to report $i; stopped there\n";
            break;
        }
    }
    ksort($statuses);
    $parts = [];
    foreach ($statuses as $status => $times) {
        $parts[] = "{$status}x$times";
    }
    echo 'statuses: ', implode(' ', $parts), "\n";
    printf("slowest answer: %.0f ms\n", $slowest * 1000);
}

// A connection that waits: a follower has asked for /events, an idle one
// has sent nothing.
function open_waiting(int $port, bool $follower)
{
    $socket = @stream_socket_client("tcp://127.0.0.1:$port", $errno, $error, 5);
    if (!$socket) {
        return null;
    }
    if ($follower) {
        fwrite($socket, "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }
    stream_set_blocking($socket, false);
    return $socket;
}

function crowd(int $port, int $followers, int $idle, int $count): int
{
    $crowd = [];
    for ($i = 0; $i < $followers + $idle; $i++) {
        $crowd[$i] = open_waiting($port, $i < $followers);
    }
    $reopened = 0;
    // Whatever the receiver closed comes back at once, as pages and
    // browsers do.
    $keep_up = function () use (&$crowd, &$reopened, $port, $followers): void {
        $read = array_filter($crowd);
        $write = $except = null;
        if ($read !== [] && stream_select($read, $write, $except, 0, 20000) > 0) {
            foreach ($read as $index => $socket) {
                while (($data = fread($socket, 65536)) !== '' && $data !== false) {
                }
                if (feof($socket)) {
                    fclose($socket);
                    $crowd[$index] = open_waiting($port, $index < $followers);
                    $reopened++;
                }
            }
        }
    };
    $stored = 0;
    for ($round = 1; $round <= $count; $round++) {
        $keep_up();
        $title = "Crowd $round " . bin2hex(random_bytes(4));
        $status = answer_status(exchange($port, report_request(
            'artist=Crowd&album=&title=' . rawurlencode($title))));
        if ($status === '204') {
            $stored++;
        } else {
            fwrite(STDERR, "crowd: report $round answered $status\n");
        }
    }
    $keep_up();
    echo "$stored of $count reports stored\n";
    fwrite(STDERR, "crowd: $reopened connections opened again\n");
    return 0;
}

function followers(int $port, int $count): void
{
    $sockets = [];
    for ($i = 0; $i < $count; $i++) {
        $sockets[$i] = connect($port);
        fwrite($sockets[$i], "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        $seen = '';
        read_until($sockets[$i], $seen, "retry: 2000", microtime(true) + 5);
        stream_set_blocking($sockets[$i], false);
    }
    echo 'closed followers: ', ranges(closed_ones($sockets)), "\n";
}

function mid_request(int $port, int $idle): void
{
    $patient = connect($port);
    fwrite($patient, "GET /set_current_song.php?artist=Patient&album=&title=Mid%20request HTTP/1.1\r\n"
        . "Host: 127.0.0.1\r\n");
    usleep(300000);
    $sockets = [];
    for ($i = 0; $i < $idle; $i++) {
        $sockets[$i] = connect($port);
        stream_set_blocking($sockets[$i], false);
    }
    usleep(300000);
    fwrite($patient, "Connection: close\r\n\r\n");
    echo 'mid-request report: ', answer_status(answer_of($patient)), "\n";
    echo 'closed idle: ', ranges(closed_ones($sockets)), "\n";
}

function slow_follower(int $port): void
{
    // Small buffers, so that the receiver's write of an event stays pending.
    $socket = socket_create(AF_INET, SOCK_STREAM, SOL_TCP);
    socket_set_option($socket, SOL_SOCKET, SO_RCVBUF, 2048);
    @socket_set_option($socket, SOL_TCP, 2 /* TCP_MAXSEG */, 536);
    if (!@socket_connect($socket, '127.0.0.1', $port)) {
        echo "no connection\n";
        return;
    }
    socket_write($socket, "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    $start = microtime(true);
    $seen = '';
    while (!str_contains($seen, 'retry: 2000') && microtime(true) < $start + 5) {
        $seen .= (string)socket_read($socket, 4096);
    }
    $large = str_repeat('%80', 500);
    for ($i = 1; $i <= 25; $i++) {
        exchange($port, report_request("artist=$large&album=$large&title=Slow%20$i$large"));
    }
    // The first ping comes 15 s after the stream began.
    time_sleep_until($start + 17);
    socket_set_nonblock($socket);
    $read_on = function (float $seconds, string $needle) use ($socket, &$seen): string {
        $until = microtime(true) + $seconds;
        while (microtime(true) < $until && !str_contains($seen, $needle)) {
            $data = @socket_read($socket, 65536);
            if ($data === '') {
                return 'closed';
            }
            if ($data === false) {
                usleep(10000);
                continue;
            }
            $seen .= $data;
        }
        return str_contains($seen, $needle) ? 'found' : 'open';
    };
    $kept = $read_on(1.5, "\0") === 'closed' ? 'no' : 'yes';
    exchange($port, report_request('artist=After&album=&title=The%20ping'));
    $next = $read_on(3, '"title": "The ping"') === 'found' ? 'yes' : 'no';
    socket_close($socket);
    echo "stream kept: $kept; next song: $next\n";
}

function watch(string $folder, string $stop_file): void
{
    $json_seen = [];
    $text_seen = [];
    $torn = 0;
    $deadline = microtime(true) + 120;
    while (!file_exists($stop_file) && microtime(true) < $deadline) {
        $json = @file_get_contents("$folder/now_playing.json");
        if ($json !== false) {
            $song = json_decode($json, true);
            if (is_array($song)) {
                $json_seen["{$song['artist']} | {$song['album']} | {$song['title']}"] = true;
            } else {
                $torn++;
            }
        }
        $text = @file_get_contents("$folder/now_playing.txt");
        if ($text !== false) {
            $text_seen[$text] = true;
        }
        usleep(20000);
    }
    file_put_contents("$folder/../json-seen.txt", implode("\n", array_keys($json_seen)) . "\n");
    file_put_contents("$folder/../text-seen.txt", implode("\n", array_keys($text_seen)) . "\n");
    echo "unreadable json reads: $torn\n";
}

$command = $argv[1] ?? '';
$port = (int)($argv[2] ?? 0);
switch ($command) {
    case 'ready':
        for ($i = 0; $i < 300; $i++) {
            if ($socket = @fsockopen('127.0.0.1', $port, $errno, $error, 1)) {
                fclose($socket);
                exit(0);
            }
            usleep(100000);
        }
        exit(1);
    case 'fire':
        fire($port, $argv[3]);
        break;
    case 'send':
        echo answer_status(exchange($port, request_for($argv[3]))), "\n";
        break;
    case 'get':
        $answer = exchange($port, "GET {$argv[3]} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        echo substr($answer, (int)strpos($answer, "\r\n\r\n") + 4);
        break;
    case 'silent':
        silent($port);
        break;
    case 'events':
        exit(events($port, (int)$argv[3], $argv[4] ?? ''));
    case 'watch':
        watch($argv[2], $argv[3]);
        break;
    case 'raw':
        echo exchange($port, $argv[3]);
        break;
    case 'fire-raw':
        $socket = connect($port);
        fwrite($socket, $argv[3]);
        fclose($socket);
        break;
    case 'continue':
        continue_report($port, $argv[3]);
        break;
    case 'reports':
        reports($port, (int)$argv[3], $argv[4], (int)$argv[5]);
        break;
    case 'crowd':
        exit(crowd($port, (int)$argv[3], (int)$argv[4], (int)$argv[5]));
    case 'followers':
        followers($port, (int)$argv[3]);
        break;
    case 'mid-request':
        mid_request($port, (int)$argv[3]);
        break;
    case 'slow-follower':
        slow_follower($port);
        break;
    default:
        fwrite(STDERR, "usage: see the top of client.php\n");
        exit(2);
}
