package zoltest;

import java.util.List;

/**
 * The short scenario that the build's load check runs for one deliverable, in
 * a child JVM of its own. Implementations are named Smoke_<deliverable>, in
 * the unnamed package (so they can reach fixture classes that have no package).
 */
public interface SmokeScenario {
    /** The Java class that loads the library, or the agent option. */
    String loadedBy();

    /** What run() shows, in a few words. */
    String scenario();

    /** JVM options the child needs, such as an -agentpath. */
    default List<String> jvmOptions() {
        return List.of();
    }

    /** Runs in the child; throws if the library misbehaves. */
    void run() throws Exception;

    /** null if the child's end shows the scenario passed, else what went wrong. */
    default String judge(ChildJvm.Result result) {
        if (result.exitCode != 0 || !result.stdout.endsWith(SmokeChild.OK + "\n")) {
            String[] lines = (result.stderr + result.stdout).strip().split("\n");
            return "exit " + result.exitCode + ": " + lines[0];
        }
        return null;
    }
}
