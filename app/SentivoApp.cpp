#include "app/SentivoApp.h"

#include "app/DefaultSurveillanceEnvironment.h"
#include "app/PanelRemote.h"
#include "app/QuitOnSignal.h"
#include "app/RunJournal.h"
#include "app/RunOutlets.h"
#include "journal/Journal.h"
#include "log/EventLog.h"
#include "mail/MailSender.h"
#include "mail/PushChannel.h"
#include "mqtt/MqttChannel.h"
#include "settings/AppPaths.h"
#include "settings/MailSettingsCodec.h"
#include "ui/panel/SentivoDlg.h"

bool CSentivoApp::InitInstance()
{
    EventLog log(DataFolder() / "events.log");
    // Outlives the sender and every run, which write to it.
    const JournalOpening journal = Journal::Open(DefaultJournalFile(), &log);
    if (!journal.note.empty())
        log.Write(journal.note);
    Outbox outbox(DataFolder() / "outbox");
    MailSender sender(outbox, CurrentMailSettings, log, JournalDeliveryReport(journal.journal.get(), kMailChannel));
    PanelRemote remote;   // outlives the MQTT channel, which hands it remote commands
    const auto startChannels = [&] {
        return StartAlertChannels(outbox, log, journal.journal.get(), [&remote](bool arm) { remote.Post(arm); }, room_);
    };
    AlertChannels channels = startChannels();
    std::unique_ptr<MqttChannel>& mqtt = channels.mqtt;
    std::unique_ptr<PushChannel>& push = channels.push;
    // Each run takes the outlets of its start: the channels change only between runs.
    RunOutlets outlets{&outbox, &sender, mqtt.get(), push.get(), &log, journal.journal.get()};
    {
        // The panel's destruction waits for a worker that outlived its stop, so every picture of a
        // run is in the outbox before the sender stops.
        CSentivoDlg panel([&, source = cameraSource_] {
            return DefaultSurveillanceEnvironment(source, outlets);
        });
        std::function<MailServices()> services = [&] {
            return MailServices{.status = [&sender] { return sender.Status(); },
                                .settingsChanged = [&sender] { sender.RetryNow(); },
                                .log = &log,
                                .mqtt = mqtt ? std::function<MqttStatus()>([&mqtt] { return mqtt->Status(); }) : nullptr,
                                .push = push ? std::function<PushStatus()>([&push] { return push->Status(); }) : nullptr,
                                .restartChannels = [&] {
                                    // The old ones go first: a new MQTT client takes the old one's id.
                                    if (mqtt)
                                        mqtt->Stop();
                                    channels = {};   // stops them
                                    channels = startChannels();
                                    outlets.mqtt = mqtt.get();
                                    outlets.push = push.get();
                                    panel.SetMailServices(services());
                                }};
        };
        panel.SetMailServices(services());
        panel.SetDefaultPicturesFolder(DefaultPicturesFolder(startedFromMenu_).string());
        QuitOnSignal quitOnSignal([&panel] { panel.QuitFromOutside(); });
        remote.Attach(&panel);
        // Before the panel shows, not at the first alarm: mails an earlier run left behind go out
        // without arming. A SIGTERM from here on ends the program as Quit does.
        sender.Start();
        panel.DoModal();
        remote.Detach();
    }
    // Cancels a send in progress within about a second; what was not sent waits for the next start.
    sender.Stop();
    if (mqtt)
        mqtt->Stop();
    return false;
}
