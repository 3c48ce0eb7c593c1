package zoltest.soak;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

@Timeout(300)
class SoakTest {
    /** A few seconds on eight threads: the default run's version of the soak. */
    @Test
    void eightThreadsForFourSeconds() {
        Soak.run(4, 8);
    }
}
