// The HTTP side, on Boost.Beast: binds the listener, runs the connections
// and ends them.
#include "receiver/web/server.h"

#include <chrono>
#include <deque>
#include <utility>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>

#include "receiver/discord/discord_presence.h"
#include "receiver/services/cover_cache.h"
#include "receiver/services/image_type.h"
#include "receiver/services/relay.h"
#include "receiver/settings/settings_load.h"
#include "receiver/settings/settings_watch.h"
#include "receiver/songs/current_song.h"
#include "receiver/songs/own_files.h"
#include "receiver/songs/song_files.h"
#include "receiver/songs/song_folder.h"
#include "receiver/system/clock.h"
#include "receiver/system/code_page.h"
#include "receiver/system/computer_names.h"
#include "receiver/system/console.h"
#include "receiver/system/files.h"
#include "receiver/system/lock.h"
#include "receiver/system/port_owner.h"
#include "receiver/system/system_message.h"
#include "receiver/web/addresses.h"
#include "receiver/web/connections.h"
#include "receiver/web/control_api.h"
#include "receiver/web/handler.h"
#include "receiver/web/listener.h"
#include "receiver/web/settings_desk.h"
#include "receiver/web/song_hub.h"

namespace receiver {

namespace {

namespace beast = boost::beast;

// cover.jpg beside the song file read back, when it still is an image.
std::optional<CoverImage> ReadBackCover(const std::wstring& folder,
                                        Song& song) {
  std::string problem;
  std::optional<std::string> bytes = ReadBoundedFile(
      FolderFile(folder, kCoverImageFile), problem, kMaxCoverBytes);
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

// Word of a song file's health from the writer's thread, for the hub while
// the server runs; dropped before and after.
class FileHealthMail {
 public:
  using To = std::function<void(const std::string&, const std::string&)>;
  void Send(const std::string& name, const std::string& error) {
    const LockHold hold(lock_);
    if (to_) to_(name, error);
  }
  // While it lives, word goes to `to`.
  class Open {
   public:
    Open(FileHealthMail& mail, To to) : mail_(mail) {
      const LockHold hold(mail_.lock_);
      mail_.to_ = std::move(to);
    }
    Open(const Open&) = delete;
    Open& operator=(const Open&) = delete;
    ~Open() {
      const LockHold hold(mail_.lock_);
      mail_.to_ = nullptr;
    }

   private:
    FileHealthMail& mail_;
  };

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  To to_;
};

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

// Which program has the port, when Windows tells, and how to take another.
std::string PortInUseText(const ServerConfig& config) {
  const std::string port = std::to_string(config.port);
  std::string text = "trackwire_receiver: port " + port + " on " +
                     config.listen + " is already in use by ";
  const std::optional<PortOwner> owner = FindPortOwner(config.port);
  const std::string process =
      owner ? "process " + std::to_string(owner->process_id) : "";
  if (!owner) {
    text += "another program";
  } else if (owner->process_id == 4) {
    // http.sys listens in the kernel's process for services such as IIS.
    text += "Windows' own web server (" + process +
            ", \"System\"), for a service such as IIS";
  } else if (owner->program.empty()) {
    text += "another program (" + process + ")";
  } else {
    text += owner->program + " (" + process + ")";
  }
  if (config.port_in_settings) {
    return text +
           ". To take another port, write port = 8080 (for example) "
           "under [receiver] in the settings file " +
           WideToUtf8(config.folder) + "\\" + std::string(kSettingsFileName) +
           ", which the control page changes too, start the receiver again "
           "and enter that port in the plug-in's settings.";
  }
  return text +
         ". Start the receiver with another port, e.g. --port 8080, "
         "and enter that port in the plug-in's settings.";
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
  HistoryReadBack history = ReadBackHistory(config.folder, problem);
  setup.history = std::move(history.entries);
  setup.history_file = history.writable;
  if (!problem.empty()) PrintError("trackwire_receiver: " + problem);
  setup.format = config.format;
  setup.settings = config.settings;
  setup.stored = hooks.song;
  setup.chat = hooks.chat;
  setup.problems = hooks.problems;
  setup.listen = ListenAddress(config.listen, config.port);
  setup.page = PageAddress(config.listen, config.port);
  setup.folder = WideToUtf8(config.folder);
  setup.settings_problems = config.settings_problems;
  setup.settings_file_problem = config.settings_file_problem;
  // Shared: a writer stuck on a disk outlives this function.
  const auto file_health = std::make_shared<FileHealthMail>();
  SongFileWriter files(config.folder, [file_health](const std::string& name,
                                                    const std::string& error) {
    file_health->Send(name, error);
  });
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
  settings.control_key = config.control_key;
  settings.to_utf8 = [code_page = config.code_page](std::string_view bytes) {
    return CodePageToUtf8(bytes, code_page);
  };
  settings.now = [] { return IsoUtc(UnixSecondsNow()); };
  // Outlives the io_context: connections still queued there refer to it.
  SongHub hub(std::move(settings), std::move(setup), song, files);
  net::io_context io(1);
  const FileHealthMail::Open file_health_open(
      *file_health,
      [&io, &hub](const std::string& name, const std::string& error) {
        net::post(io, [&hub, name, error] { hub.SetFileHealth(name, error); });
      });
  // Goes before the io_context and the hub do: it posts to both.
  RelayHooks relay_hooks;
  relay_hooks.cover = [&io, &hub](FoundCover found) {
    net::post(io, [&hub, found = std::move(found)] { hub.SetCover(found); });
  };
  relay_hooks.length = [&io, &hub](FoundLength found) {
    net::post(io, [&hub, found] { hub.SetLength(found); });
  };
  relay_hooks.lyrics = [&io, &hub](FoundLyrics found) {
    net::post(io, [&hub, found = std::move(found)] { hub.SetLyrics(found); });
  };
  relay_hooks.notice = [](const std::string& text) { PrintError(text); };
  relay_hooks.target = [&io, &hub](TargetReport report) {
    net::post(io,
              [&hub, report = std::move(report)] { hub.SetTarget(report); });
  };
  relay_hooks.lastfm = [&io, &hub](LastFmStatus status) {
    net::post(io, [&hub, status = std::move(status)]() mutable {
      hub.SetLastFm(std::move(status));
    });
  };
  relay_hooks.lastfm_session = [&io, &hub](std::string session) {
    net::post(io, [&hub, session = std::move(session)]() mutable {
      hub.StoreLastFmSession(std::move(session));
    });
  };
  relay_hooks.cover_file = [&files](std::optional<std::string> bytes) {
    if (bytes) {
      files.Write({{std::string(kCoverImageFile), std::move(*bytes)}});
    } else {
      files.Remove(std::string(kCoverImageFile));
    }
  };
  Relay relay(config.folder, config.settings.targets, std::move(relay_hooks));
  if (!relay.started()) {
    PrintError(
        "trackwire_receiver: cannot start the thread that sends songs to "
        "other services");
  }
  hub.UseRelay(&relay);
  // Goes before the io_context does: it posts to it.
  SettingsDesk settings_desk(FolderFile(config.folder, kSettingsFileName),
                             config.format, song,
                             [&io](std::function<void()> answer) {
                               net::post(io, std::move(answer));
                             });
  hub.UseSettingsDesk(&settings_desk);
  PresenceHooks presence_hooks;
  presence_hooks.notice = [](const std::string& text) { PrintError(text); };
  DiscordPresence presence(config.settings.discord, std::move(presence_hooks));
  if (!presence.started()) {
    PrintError(
        "trackwire_receiver: cannot start the thread that shows the song on "
        "Discord");
  }
  hub.UsePresence(&presence);
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
    PrintError(PortInUseText(config));
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
  if (config.settings.targets.lyrics.enabled) {
    PrintLine("  lyrics source:  " + page + "lyrics");
  }
  if (!config.control_key.empty()) {
    PrintLine("  control page:   " + ControlAddress(page, config.control_key));
  }
  PrintLine("  text source:    " + WideToUtf8(text_file));
  PrintLine("Ctrl+C ends it.");
  hub.Start(io);
  {
    // Disarmed however the run ends, before the io_context goes.
    const ServerStop::Armed armed(hooks.stop, [&io] { io.stop(); });
    const ArmedCall::Armed clear_song(
        hooks.commands ? &hooks.commands->clear_song : nullptr,
        [&io, &hub] { net::post(io, [&hub] { hub.Clear(); }); });
    const std::wstring settings_file =
        FolderFile(config.folder, kSettingsFileName);
    FileWatch watch(
        settings_file,
        [&io, &hub, &settings_file](std::string bytes) {
          // A secret just written in clear is encrypted at once; the watch
          // then sees the file again.
          const std::string failure = SealSettingsFile(settings_file, bytes);
          if (!failure.empty()) PrintError("trackwire_receiver: " + failure);
          net::post(io, [&hub, bytes = std::move(bytes)] {
            hub.ApplySettings(bytes);
          });
        },
        [&io, &hub](const std::string& refused) {
          PrintError("trackwire_receiver: " + refused);
          net::post(io, [&hub, refused] { hub.SettingsRefused(refused); });
        });
    if (!watch.started()) {
      PrintError("trackwire_receiver: cannot watch the settings file");
    }
    // The user's own style for the overlay, taken again at each save.
    const std::wstring style_file = FolderFile(config.folder, kUserStyleFile);
    std::string style_problem;
    hub.SetUserStyle(
        ReadBoundedFile(style_file, style_problem, kMaxSettingsFile));
    if (!style_problem.empty()) {
      PrintError("trackwire_receiver: " + style_problem);
    }
    FileWatch style_watch(
        style_file,
        [&io, &hub](std::string bytes) {
          net::post(io, [&hub, bytes = std::move(bytes)] {
            hub.SetUserStyle(bytes);
          });
        },
        [](const std::string& refused) {
          PrintError("trackwire_receiver: " + refused);
        });
    if (hooks.listening) hooks.listening();
    try {
      RunUntilStopped(io, listener);
    } catch (...) {
      // Its timer goes before the io_context does.
      hub.Finish();
      throw;
    }
    watch.Stop();
    style_watch.Stop();
    settings_desk.Stop();
  }
  hub.Finish();
  hub.UseRelay(nullptr);
  hub.UsePresence(nullptr);
  // The profile's song cleared before the rest winds down.
  presence.Finish(kPresenceEndMs);
  hub.UseSettingsDesk(nullptr);
  // The relay keeps the current song's listen on disk and gives up what is
  // open; then the song files' last try.
  relay.Finish(UnixSecondsNow(), kRelayEndMs);
  files.Finish(kSongFilesEndMs);
  PrintLine("trackwire_receiver: stopped");
  return 0;
}

}  // namespace receiver
