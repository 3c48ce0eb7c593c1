package zoltest;

import java.util.List;
import java.util.stream.Collectors;

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
            // The line that names an error, if any: the JVM's own warnings (such
            // as those after a failed load) can come before it.
            List<String> lines = (result.stderr + result.stdout).strip().lines().collect(Collectors.toList());
            String shown = lines.stream().filter(line -> line.matches(".*(Exception|Error|ERROR).*")).findFirst()
                    .orElse(lines.isEmpty() ? "" : lines.get(0));
            return "exit " + result.exitCode + ": " + shown;
        }
        return null;
    }
}
