//
// station-clock.gs: the station clock moves its hands on once a minute,
// from noon, and strikes each hour.
//

include "KestroGameObject.gs"

class StationClock isclass KestroGameObject
{
  int minuteOfDay;

  thread void Run(void)
  {
    while (true) {
      Sleep(60.0);
      minuteOfDay = (minuteOfDay + 1) % (24 * 60);
      if (minuteOfDay % 60 == 0)
        PostMessage(me, "StationClock", "Strike", 0.0);
    }
  }

  public void Init(Asset self)
  {
    inherited(self);
    minuteOfDay = 12 * 60;
    Run();
  }
};
