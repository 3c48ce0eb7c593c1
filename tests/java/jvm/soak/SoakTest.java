/*
 * @test
 * @summary A few seconds of eight threads calling the natives at once
 * @library /testkit /fixtures /scenarios ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* zol.share.* SoakMain SoakTest
 * @run driver zoltest.JUnitChild SoakTest
 */

import org.junit.jupiter.api.Test;
import zoltest.Soak;

class SoakTest {
    /** A few seconds on eight threads: the default run's version of the soak. */
    @Test
    void eightThreadsForFourSeconds() {
        Soak.run(4, 8);
    }
}
