/*
 * @test
 * @summary The field watch agent's walks leave no object tag behind
 * @requires jdk.version.major == 17
 * @comment JDK 17 logs each entry of the agent's tag map (jvmti+table at trace); JDK 25 does not.
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.*
 * @run junit PellandorTagsTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import org.junit.jupiter.api.Test;
import zoltest.ChildJvm;
import zoltest.TestEnv;

/**
 * The tag map as the JVM itself logs it, over the walks of the graph and chain scenarios (cycles, shared
 * nodes, a second walk of the same objects): every entry a walk added is removed again.
 */
class PellandorTagsTest {
    @Test
    void everyTagAWalkGivesIsTakenOff() throws Exception {
        Path log = Files.createTempFile("tag-map", ".log");
        try {
            ChildJvm.Result r = new ChildJvm(PellandorMain.class)
                    .options("-agentpath:" + TestEnv.library("Pellandor"), "-Dchain=1000",
                            "-Xlog:jvmti+table=trace:file=" + log)
                    .args("graph", "chain")
                    .run();
            assertEquals(0, r.exitCode, r.toString());
            List<String> lines = Files.readAllLines(log);
            long added = lines.stream().filter(l -> l.contains("JvmtiTagMap entry added")).count();
            long removed = lines.stream().filter(l -> l.contains("JvmtiTagMap entry removed")).count();
            assertTrue(added > 1000, "tags given: " + added);
            assertEquals(added, removed);
        } finally {
            Files.delete(log);
        }
    }
}
