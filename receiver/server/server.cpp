// The HTTP side, on Boost.Beast: binds the listener, runs the connections
// and ends them.
#include "receiver/server/server.h"

#include <chrono>
#include <deque>
#include <utility>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>

#include "receiver/outbound/cover_cache.h"
#include "receiver/outbound/relay.h"
#include "receiver/requests/handler.h"
#include "receiver/server/connections.h"
#include "receiver/server/listener.h"
#include "receiver/server/song_hub.h"
#include "receiver/songs/current_song.h"
#include "receiver/songs/settings_watch.h"
#include "receiver/songs/song_files.h"
#include "receiver/system/clock.h"
#include "receiver/system/code_page.h"
#include "receiver/system/computer_names.h"
#include "receiver/system/console.h"
#include "receiver/system/lock.h"
#include "receiver/system/system_message.h"
#include "receiver/text/addresses.h"
#include "receiver/text/image_type.h"

namespace receiver {

namespace {

namespace beast = boost::beast;

// At exit the relay keeps the current song's listen on disk and gives up
// what is open; the song files' last try follows within the time left.
constexpr unsigned kRelayEndMs = 800;

// cover.jpg beside the song file read back, when it still is an image.
std::optional<CoverImage> ReadBackCover(const std::wstring& folder,
                                        Song& song) {
  std::string problem;
  std::optional<std::string> bytes =
      ReadSmallFile(folder + L"\\cover.jpg", problem, kMaxCoverBytes);
  const std::string_view type = bytes ? ImageType(*bytes) : "";
  if (type.empty()) {
    song.cover.clear();
    return std::nullopt;
  }
  return CoverImage{std::make_shared<const std::string>(std::move(*bytes)),
                    std::string(type)};
}
namespace net = boost::asio;
using tcp = net::ip::tcp;

// Runs the server until it is stopped. Under a 32-bit emulation layer the
// wait for completions has been seen to fail now and then ("No access to
// memory location") while everything else was sound; the server goes on
// after such a failure, and gives up only when they come in a burst.
void RunUntilStopped(net::io_context& io, Listener& listener) {
  constexpr int kFailuresInABurst = 10;
  constexpr auto kBurst = std::chrono::seconds(10);
  std::deque<Clock::time_point> failures;
  for (;;) {
    try {
      io.run();
      return;
    } catch (const boost::system::system_error& failure) {
      const Clock::time_point now = Clock::now();
      while (!failures.empty() && now - failures.front() > kBurst) {
        failures.pop_front();
      }
      failures.push_back(now);
      if (failures.size() >= kFailuresInABurst) throw;
      PrintError(std::string("trackwire_receiver: waiting for the network "
                             "failed, going on: ") +
                 failure.what());
      listener.AcceptAgain();
    }
  }
}

}  // namespace

int RunServer(const ServerConfig& config, const ServerHooks& hooks) {
  CurrentSong song;
  std::string problem;
  HubSetup setup;
  if (std::optional<Song> last = ReadBackSong(config.folder, problem)) {
    if (!last->cover.empty()) setup.cover = ReadBackCover(config.folder, *last);
    if (hooks.song) hooks.song(*last);
    song.Set(std::move(*last));
  }
  if (!problem.empty()) PrintError("trackwire_receiver: " + problem);
  if (!config.settings_notice.empty()) PrintError(config.settings_notice);
  problem.clear();
  if (const std::optional<std::string> history =
          ReadSmallFile(config.folder + L"\\history.json", problem)) {
    setup.history = ParseHistoryJson(*history);
  }
  if (!problem.empty()) PrintError("trackwire_receiver: " + problem);
  setup.format = config.format;
  setup.settings = config.settings;
  setup.stored = hooks.song;
  setup.chat = hooks.chat;
  SongFileWriter files(config.folder);
  if (!files.started()) {
    PrintError("trackwire_receiver: cannot start the song files' thread");
    return 1;
  }
  std::vector<std::string> names = ComputerNames();
  names.insert(names.end(), config.allow_hosts.begin(),
               config.allow_hosts.end());
  HandlerSettings settings;
  settings.hosts = HostCheck(names);
  settings.key = config.key;
  settings.to_utf8 = [code_page = config.code_page](std::string_view bytes) {
    return CodePageToUtf8(bytes, code_page);
  };
  settings.now = [] { return IsoUtc(UnixSecondsNow()); };
  // Outlives the io_context: connections still queued there refer to it.
  SongHub hub(std::move(settings), std::move(setup), song, files);
  net::io_context io(1);
  // Goes before the io_context and the hub do: it posts to both.
  RelayHooks relay_hooks;
  relay_hooks.cover = [&io, &hub](FoundCover found) {
    net::post(io, [&hub, found = std::move(found)] { hub.SetCover(found); });
  };
  relay_hooks.notice = [](const std::string& text) { PrintError(text); };
  Relay relay(config.folder, config.settings.targets, std::move(relay_hooks));
  if (!relay.started()) {
    PrintError(
        "trackwire_receiver: cannot start the thread that sends songs to "
        "other services");
  }
  hub.UseRelay(&relay);
  beast::error_code ec;
  const net::ip::address address = net::ip::make_address(config.listen, ec);
  if (ec) {
    PrintError(
        "trackwire_receiver: --listen takes an IP address such as "
        "127.0.0.1 or 0.0.0.0, not " +
        config.listen);
    return 2;
  }
  const tcp::endpoint endpoint(address,
                               static_cast<unsigned short>(config.port));
  tcp::acceptor acceptor(io);
  acceptor.open(endpoint.protocol(), ec);
  if (!ec) {
    // Nobody else may take the port while the receiver has it.
    const int exclusive = 1;
    if (setsockopt(acceptor.native_handle(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                   reinterpret_cast<const char*>(&exclusive),
                   sizeof exclusive) != 0) {
      ec.assign(WSAGetLastError(), net::error::get_system_category());
    }
    if (!ec) acceptor.bind(endpoint, ec);
  }
  if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
  const std::string where =
      config.listen + " port " + std::to_string(config.port);
  if (ec == net::error::address_in_use || ec == net::error::access_denied) {
    PrintError("trackwire_receiver: port " + std::to_string(config.port) +
               " on " + config.listen +
               " is already in use by another program. Start the receiver "
               "with another port, e.g. --port 8080, and enter that port in "
               "the plug-in's settings.");
    return 2;
  }
  if (ec.value() == WSAEADDRNOTAVAIL) {
    PrintError("trackwire_receiver: " + config.listen +
               " is not an address of this PC; --listen 127.0.0.1 takes "
               "reports from this PC only, 0.0.0.0 from the whole network.");
    return 2;
  }
  if (ec) {
    PrintError("trackwire_receiver: cannot listen on " + where + ": " +
               SystemMessage(static_cast<unsigned long>(ec.value())));
    return 2;
  }

  Listener listener(acceptor, hub);
  listener.Accept();
  const ConsoleStop console_stop([&io] { io.stop(); });
  const std::string page = PageAddress(config.listen, config.port);
  const std::wstring text_file = config.folder + L"\\now_playing.txt";
  PrintLine("trackwire_receiver: listening on " + where);
  PrintLine("  page:           " + page);
  PrintLine("  browser source: " + page + "?overlay=1");
  PrintLine("  text source:    " + WideToUtf8(text_file));
  PrintLine("Ctrl+C ends it.");
  hub.Start(io);
  {
    // Disarmed however the run ends, before the io_context goes.
    const ServerStop::Armed armed(hooks.stop, [&io] { io.stop(); });
    const ServerCommands::Armed commands(hooks.commands, [&io, &hub] {
      net::post(io, [&hub] { hub.Clear(); });
    });
    const std::wstring settings_file =
        config.folder + L"\\" + Utf8ToWide(std::string(kSettingsFileName));
    FileWatch watch(
        settings_file, [&io, &hub, &settings_file](std::string bytes) {
          // A secret just written in clear is encrypted at once; the watch
          // then sees the file again.
          const std::string failure = SealSettingsFile(settings_file, bytes);
          if (!failure.empty()) PrintError("trackwire_receiver: " + failure);
          net::post(io, [&hub, bytes = std::move(bytes)] {
            hub.ApplySettings(bytes);
          });
        });
    if (!watch.started()) {
      PrintError("trackwire_receiver: cannot watch the settings file");
    }
    if (hooks.listening) hooks.listening();
    try {
      RunUntilStopped(io, listener);
    } catch (...) {
      // Its timer goes before the io_context does.
      hub.Finish();
      throw;
    }
    watch.Stop();
  }
  hub.Finish();
  hub.UseRelay(nullptr);
  relay.Finish(UnixSecondsNow(), kRelayEndMs);
  files.Finish();
  PrintLine("trackwire_receiver: stopped");
  return 0;
}

}  // namespace receiver
