/*
 * @test
 * @summary Five minutes of eight threads calling the natives at once
 * @key long
 * @library /testkit /fixtures /scenarios ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* zol.share.* SoakMain
 * @run junit/timeout=1000 SoakLongTest
 */

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;
import zoltest.Soak;

@Timeout(900)
class SoakLongTest {
    /** Five minutes on eight threads (opt-in label "long"). */
    @Test
    void eightThreadsForFiveMinutes() {
        Soak.run(300, 8);
    }
}
